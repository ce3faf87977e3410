// The resource files of res/, compiled into the program as byte arrays (generated source).
#pragma once

#include <cstddef>
#include <cstdint>

namespace ui {

struct EmbeddedResource {
  const char* type;  // resource type as registered ("LangText", "BITMAPFILE", "CURSOR")
  int id;
  const std::uint8_t* data;
  std::size_t size;
};

extern const EmbeddedResource kEmbeddedResources[];
extern const std::size_t kEmbeddedResourceCount;

}  // namespace ui
