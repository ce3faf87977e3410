// Writes the demo's phone software image: count bytes of a reproducible sequence.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_image OUTPUT BYTES\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  std::uint32_t state = 0x5A4D0001u;
  for (long i = std::strtol(argv[2], nullptr, 0); i > 0; --i) {
    state = state * 1664525u + 1013904223u;
    std::fputc(static_cast<int>(state >> 24), out);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
