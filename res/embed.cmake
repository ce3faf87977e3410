# Writes a C++ source that holds resource files as byte arrays.
#   cmake -DOUTPUT=out.cpp -DENTRIES="TYPE|ID|FILE,..." -P embed.cmake
# Each entry becomes one element of kEmbeddedResources (declared in ui/embedded_resources.h).
string(REPLACE "," ";" ENTRIES "${ENTRIES}")
set(body "")
set(table "")
set(index 0)
foreach(entry IN LISTS ENTRIES)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 type)
  list(GET parts 1 id)
  list(GET parts 2 file)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  if(hexLength EQUAL 0)
    message(FATAL_ERROR "embed: ${file} is empty")
  endif()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "const std::uint8_t kData${index}[] = {${bytes}};\n")
  string(APPEND table "    {\"${type}\", ${id}, kData${index}, sizeof kData${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from the files in res/ by res/embed.cmake. Do not edit.\n"
  "#include \"ui/embedded_resources.h\"\n\n"
  "namespace {\n${body}}  // namespace\n\n"
  "namespace ui {\n"
  "const EmbeddedResource kEmbeddedResources[] = {\n${table}};\n"
  "const std::size_t kEmbeddedResourceCount = sizeof kEmbeddedResources / sizeof kEmbeddedResources[0];\n"
  "}  // namespace ui\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
