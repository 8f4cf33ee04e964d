// pixmill's command-line tokens, its grey-image writer and the steps of the
// conversion.  Arguments by reference; texts as characters plus a length.
#ifndef PIXMILL_CONVERTER_H
#define PIXMILL_CONVERTER_H

#include <stdint.h>

/// Token field width and the command string's length.
enum { ptoklen = 32, pcmdlen = 200 };

/// Hands the process's arguments to zgimsg (main calls it first; tests may
/// call it with arguments of their own).  argv[0] is the program name.
void zargs(const int &argc, char **argv);

/// Fills text with the arguments joined by one blank, blank-padded.  When
/// they reach position len - 2 or beyond, writes " warning:  command string
/// too long." to standard output and stops there.
void zgimsg(char *text, const int &len);

/// Splits the command string into blank-delimited words: count is the number
/// of words; the first maxtok of them are stored, each cut or blank-padded
/// to 32 characters, with its full length.
void parser(char (*tokens)[ptoklen], int *lengths, int &count, const int &maxtok);

/// Writes count bytes of array to the descriptor unit at byte offset, cut
/// like zwabs.  err 0, or 115 (with zrwerr) on failure.
void writeabs(const int &unit, const void *array, const int &count, const int &offset, int &err);

// ------------------------------------------------------------ conversion
/// Storage for the raster: bytes long, marked for huge pages when large.
/// nullptr when the memory cannot be had.
void *rasalloc(const int64_t &bytes);
void rasfree(void *store, const int64_t &bytes);

/// Range scan: lo starts at 1.0e30 and hi at 0.0; NaNs change neither.
void rrange(const float *data, const int &n, float &lo, float &hi);

/// Normalises the n samples with power p between lo and hi and replaces them,
/// in place, by the x window image's pixel words (0, B, B, B: file order).
void rxwin(void *data, const int &n, const float &p, const float &lo, const float &hi,
           const bool &reverse);

/// Normalises the width x length samples and replaces them, in place, by the
/// grey image: rows padded to an even width, a pad row for an odd length (pad
/// byte 0, or 255 in reversed video).  width and length become the padded
/// dimensions.  The store must hold max(4 n, W' L') bytes (4 n always does).
void rgrey(void *data, int &width, int &length, const float &p, const float &lo, const float &hi,
           const bool &reverse);

#endif
