// The whole window framework in one include.
#pragma once

#include "platform/gui/controls.h"
#include "platform/gui/dialog.h"
#include "platform/gui/docview.h"
#include "platform/gui/gdi.h"
#include "platform/gui/instance_lock.h"
#include "platform/gui/messages.h"
#include "platform/gui/resources.h"
#include "platform/gui/sysinfo.h"
#include "platform/gui/types.h"
#include "platform/gui/wnd.h"
