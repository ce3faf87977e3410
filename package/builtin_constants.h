// The package constants of this build, generated from the key directory it was configured with.
#pragma once

#include "package/package_reader.h"

extern const PackageConstants kBuiltInPackageConstants;
