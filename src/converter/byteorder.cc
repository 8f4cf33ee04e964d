// Conversion between the big-endian order of pixmill's files and the host's.
#include <string.h>

#include "textnum.h"

int endian_type() {
  uint16_t one = 1;
  unsigned char first;
  memcpy(&first, &one, 1);
  return first;
}

// The elements may be floats or lie at any alignment, so they are moved
// through memcpy; the compiler turns each loop into plain byte swaps.
void swap_bytes16(void *array, const int &count) {
  if (endian_type() == 0 || count <= 0) return;
  unsigned char *p = static_cast<unsigned char *>(array);
  for (int i = 0; i < count; i++, p += 2) {
    uint16_t v;
    memcpy(&v, p, 2);
    v = __builtin_bswap16(v);
    memcpy(p, &v, 2);
  }
}

void swap_bytes32(void *array, const int &count) {
  if (endian_type() == 0 || count <= 0) return;
  unsigned char *p = static_cast<unsigned char *>(array);
  for (int i = 0; i < count; i++, p += 4) {
    uint32_t v;
    memcpy(&v, p, 4);
    v = __builtin_bswap32(v);
    memcpy(p, &v, 4);
  }
}

void swap_bytes64(void *array, const int &count) {
  if (endian_type() == 0 || count <= 0) return;
  unsigned char *p = static_cast<unsigned char *>(array);
  for (int i = 0; i < count; i++, p += 8) {
    uint64_t v;
    memcpy(&v, p, 8);
    v = __builtin_bswap64(v);
    memcpy(p, &v, 8);
  }
}
