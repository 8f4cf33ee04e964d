// pixmill: converts a raw raster of big-endian float32 samples into a grey
// image or an x window image.
//
//   pixmill file outfile width length imagetype power videotype [header_length]
//
// How it works, in the order main() does it: the command line comes in as
// 32-character tokens (parser.cc); the numbers are converted with cnvati and
// cnvatf (cnvati.cc, cnvatf.cc) and checked; one store sized to the raster is
// taken (raster.cc); the input is opened read-only with zopen, read with one
// zrabs at the header offset (filelib) and brought into host order; the
// samples are scanned for their range and mapped, in place, to pixels by a
// power law (raster.cc); the output is created with znfile and written with
// zwabs (x window image: width, length, then one word 0 B B B per pixel) or
// writeabs (grey image: one byte per pixel, dimensions padded to even
// numbers), and closed.
//
// Every outcome is one line on standard output beginning with a blank, or
// none on success; the exit status is 0 after a conversion and 1 after any
// error line.  The file library's own messages are never printed here.
#include <stdint.h>
#include <string.h>

#include "converter.h"
#include "filelib.h"
#include "textnum.h"

namespace {

void say(const char *line) {
  int n = int(strlen(line));
  ulwrite(ulstdout, line, n);
}

// One line, one failure: the status a script sees.
int fail(const char *line) {
  say(line);
  return 1;
}

bool posint(const char *token, int32_t &value) {
  static const int len = ptoklen;
  int err;
  value = 0;
  cnvati(token, len, value, err);
  return err == 0 && value > 0;
}

}  // namespace

int main(int argc, char **argv) {
  zargs(argc, argv);
  static char tokens[15][ptoklen];
  static int lengths[15];
  static const int maxtok = 15;
  int count = 0;
  parser(tokens, lengths, count, maxtok);
  if (count != 7 && count != 8)
    return fail(" usage: pixmill file outfile width length"
                "                  imagetype power videotype [header_length]");

  const char *infile = tokens[0], *outfile = tokens[1];
  static const int namelen = ptoklen;
  int32_t width = 0, length = 0, lheader = 0;
  float power = 0.0f;
  int err = 0;
  if (!posint(tokens[2], width)) return fail(" input error - width must be a positive integer.");
  if (!posint(tokens[3], length)) return fail(" input error - length must be a positive integer.");
  char imagetype = tokens[4][0];
  cnvatf(tokens[5], namelen, power, err);
  if (err) return fail(" input error - power must be a number.");
  char videotype = tokens[6][0];
  if (count == 8) {
    cnvati(tokens[7], namelen, lheader, err);
    if (err || lheader < 0) return fail(" input error - header_length must be a non-negative integer.");
  }
  // The sample count, and for a grey image its padded size, must be 32-bit
  // counts.
  int64_t n64 = int64_t(width) * length;
  int64_t padded = (int64_t(width) + (width & 1)) * (int64_t(length) + (length & 1));
  if (n64 > INT32_MAX || (imagetype == 'g' && padded > INT32_MAX))
    return fail(" input error - width times length is too large.");
  int n = int(n64);

  if (imagetype != 'g' && imagetype != 'x')
    return fail(" input error - imagetype options are g - for grey images"
                " or x - for x window images.");

  // 4 n bytes hold the samples, the x window pixels and the padded grey
  // image alike.
  int64_t storebytes = n64 * 4;
  void *store = rasalloc(storebytes);
  if (!store) return fail(" error - not enough memory for the raster.");
  float *data = static_cast<float *>(store);

  static const int len = 100;
  int iunit = 0;
  zgtfun(iunit, err);
  zopen(iunit, infile, namelen, "RODATA", 6, len, err);
  if (err == 0) {
    zrabs(iunit, data, n, lheader, err);
    int cerr;
    zclose(iunit, infile, namelen, cerr);
  }
  if (err) {
    char line[20 + ptoklen + 11] = " Error reading file ";
    memcpy(line + 20, infile, ptoklen);
    memcpy(line + 20 + ptoklen, "(pixmill).", 11);
    rasfree(store, storebytes);
    return fail(line);
  }
  swap_bytes32(data, n);

  float lo, hi;
  rrange(data, n, lo, hi);
  bool reverse = videotype == 'r';
  if (imagetype == 'x')
    rxwin(store, n, power, lo, hi, reverse);
  else
    rgrey(store, width, length, power, lo, hi, reverse);

  int ounit = 0, err2 = 0;
  zgtfun(ounit, err);
  if (err == 0) znfile(ounit, outfile, namelen, "DATA", 4, len, err2);
  if (err || err2) {
    rasfree(store, storebytes);
    return fail(" error - opening imagefile.");
  }

  int werr = 0;
  if (imagetype == 'x') {
    static const int one = 1, at0 = 0, at1 = 1, at2 = 2;
    int32_t head = width;
    swap_bytes32(&head, one);
    zwabs(ounit, &head, one, at0, err);
    werr |= err;
    head = length;
    swap_bytes32(&head, one);
    zwabs(ounit, &head, one, at1, err);
    werr |= err;
    // The pixel words are already in file order (rxwin builds them so).
    zwabs(ounit, store, n, at2, err);
    werr |= err;
  } else {
    static const int at0 = 0;
    int bytes = width * length;
    writeabs(ounit, store, bytes, at0, err);
    werr |= err;
  }
  zclose(ounit, outfile, namelen, err);
  werr |= err;
  rasfree(store, storebytes);
  if (werr) return fail(" error - writing imagefile.");
  return 0;
}
