// The line state and the line colour table.  Set by "st" and by every "dr"
// group; read by pathop each time it draws.
#include <stdlib.h>

#include "pv5.h"

namespace {
// Dash lengths, on and off, in the context's user units.
const float ls1[] = {1.0f};  // solid: never read
const float ls2[] = {3, 1};
const float ls3[] = {3, 4, 3, 1};
const float ls4[] = {4, 4};
const float ls5[] = {3, 4, 3, 1, 3, 1};
const float ls6[] = {4, 7};
}  // namespace

const lstyle linestyles[6] = {{0, ls1}, {2, ls2}, {4, ls3}, {2, ls4}, {6, ls5}, {2, ls6}};

int32_t linestyle, linewidth, linecolor;
cent *tcolor;
int32_t ncolor;

int32_t style(int32_t lstyle, int32_t lwidth, int32_t lfcolor, int32_t nc, const float *ents) {
  // Style numbers count from 1; anything above 6 is the last pattern.
  linestyle = lstyle <= 0 ? 0 : (lstyle < 6 ? lstyle : 6) - 1;
  linewidth = lwidth < 0 ? 0 : lwidth;
  linecolor = lfcolor;  // resolved only when drawing

  // The table only grows: a smaller load overwrites its first entries.
  if (nc > ncolor && tcolor) {
    free(tcolor);
    tcolor = nullptr;
    ncolor = 0;
  }
  if (ncolor <= 0 && nc > 0) {
    tcolor = static_cast<cent *>(malloc(sizeof(cent) * (size_t)nc));
    if (tcolor) ncolor = nc;
  }
  if (nc > ncolor) return 0;  // no storage: lines stay black
  for (int32_t i = 0; i < nc; i++) tcolor[i] = {ents[i], ents[nc + i], ents[2 * nc + i]};
  return 0;
}
