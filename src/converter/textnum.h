// Text and byte-order routines of pixmill: trimmed lengths, text to number,
// and conversion between big-endian file order and host order.
//
// Every routine takes its arguments by reference.  A text is a fixed-length
// field of characters plus its length, padded with blanks; trailing blanks
// never count.  Positions are counted from 1.
#ifndef PIXMILL_TEXTNUM_H
#define PIXMILL_TEXTNUM_H

#include <stdint.h>

/// First position of the text, scanning forward (dir != 0) or backward
/// (dir == 0), whose character equals ch (match != 0) or differs from it
/// (match == 0); 0 when there is none or the length is 0 or less.
int indexa(const char *text, const int &len, const char &ch, const int &dir, const int &match);

/// Trimmed length: position of the last non-blank character, but never past
/// the character before the first NUL; 0 for a blank text.
int indexb(const char *text, const int &len);

/// Text to 32-bit integer.  err: 0 success, 1 a bad character or a sign after
/// position 1, 2 a trimmed length over 16.  A blank ends the number; the sum
/// wraps in 32 bits.  value is written only on success.
void cnvati(const char *text, const int &len, int32_t &value, int &err);

/// Text to single precision: [blanks][sign][int][.frac][E|e exp], ended by a
/// blank or the end of the text.  err 0 to 7 (see cnvatf.cc); value is written
/// only on success.
void cnvatf(const char *text, const int &len, float &value, int &err);

/// 1 on a little-endian host, 0 on a big-endian one.
int endian_type();

/// On a little-endian host, reverse the bytes of each of the first count
/// elements in place; on a big-endian host, or for count <= 0, do nothing.
void swap_bytes16(void *array, const int &count);
void swap_bytes32(void *array, const int &count);
void swap_bytes64(void *array, const int &count);

#endif
