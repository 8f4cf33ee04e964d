// The file library of pixmill: unit-numbered files, block I/O at word
// offsets, shared-memory files and the numbered message system.
//
// Every routine takes its arguments by reference; a text comes as characters
// plus a length and is a blank-padded field whose trailing blanks never count.
// Routines report failure through an error argument that they set to 0 on
// entry.  Error numbers: 101 open failed or bad type keyword, 108 file does
// not exist, 114 block read failed, 115 block write (or close) failed, 116 no
// free unit.
//
// Unit numbers: positive for a unit of the unit layer (zgtfun hands out 1 to
// 19; unit 6 is standard output and always open), negative for a negated
// POSIX descriptor (disk file or shared-memory file), 0 for none.
#ifndef PIXMILL_FILELIB_H
#define PIXMILL_FILELIB_H

#include <stdint.h>
#include <sys/types.h>
#include <sys/uio.h>

// ------------------------------------------------------------ unit layer
// Units 1 to ulmaxunit over file descriptors and stdio.  Status numbers:
// 0 success, a positive errno value from the system, or one of the ule*
// codes below.
enum {
  ulmaxunit = 99,
  ulstdout = 6,
  // status of an open
  ulold = 1,      // the file must exist
  ulnew = 2,      // the file must not exist; it is created
  ulscratch = 3,  // unnamed temporary file, gone when closed
  // access
  ulseq = 1,
  uldirect = 2,
  // form
  ulfmt = 1,
  ulunfmt = 2,
  // status numbers of the unit layer's own
  uleeof = -1,           // end of file on a read
  uleunit = 5001,        // unit number out of range
  uleopen = 5002,        // unit already open
  ulesettings = 5003,    // bad status, access, form or record length
  ulenotopen = 5004,     // unit not open
  ulemode = 5005,        // operation does not fit the unit's access or form
  ulerecord = 5006,      // record number or size out of range
};

/// Opens unit on the named file (name ignored for ulscratch) with the given
/// status, access and form; reclen is the record length in bytes for direct
/// access (ignored otherwise).  Files are opened for reading and writing, or
/// for reading only when writing is not permitted.  Returns a status number.
int ulopen(const int &unit, const char *name, const int &nlen, const int &status, const int &access,
           const int &form, const int &reclen);
/// True when unit is open (unit 6 always is).
bool ulisopen(const int &unit);
/// Closes unit, keeping its file (a scratch file disappears).  Closing unit 6
/// only flushes standard output.  Returns a status number.
int ulclose(const int &unit);
/// Writes the first len characters of text and a line end to a formatted
/// sequential unit.  Returns a status number.
int ulwrite(const int &unit, const char *text, const int &len);
/// Reads the next line of a formatted sequential unit into text, blank-padded
/// (cut when longer); got is the line's full length.  uleeof at end of file.
int ulread(const int &unit, char *text, const int &len, int &got);
/// Unformatted units.  rec 0 on a sequential unit: the next record (stored
/// between two native 4-byte length marks).  rec >= 1 on a direct unit: that
/// record, reclen bytes; a shorter write is padded (with zeros, or blanks on a
/// formatted direct unit).  Return status numbers; got is the bytes placed.
int ulwrec(const int &unit, const int &rec, const void *buf, const int &nbytes);
int ulrrec(const int &unit, const int &rec, void *buf, const int &nbytes, int &got);
/// True when a file of that name exists (trailing blanks ignored).
bool ulexists(const char *name, const int &nlen);
/// Status of the named file, following symbolic links: 0 and isdir, or the
/// errno value.
int ulstat(const char *name, const int &nlen, int &isdir);

// ------------------------------------------------------------ unit numbers
void zgtfun(int &unit, int &err);
void zinquire(const char *name, const int &nlen, bool &exists);
/// Types: "DATA", "RODATA" (descriptor units; names beginning with "|" are
/// shared-memory files), "TEXT", "ROTEXT", "READ", "ROUNFR", "RODIR" (length
/// is the record length), "SCRATCH".  Starts an "ERROR" message on failure.
void zopen(int &unit, const char *name, const int &nlen, const char *type, const int &tlen,
           const int &length, int &err);
/// Types (first four characters): "DATA" creates or truncates (a "|" name is a
/// shared-memory file of size words), "TEXT" opens or creates a text unit.
void znfile(int &unit, const char *name, const int &nlen, const char *type, const int &tlen,
            const int &size, int &err);
/// err: 0 success, 1 access denied, 2 any other failure; unit unchanged then.
void zopenc(int &unit, const char *name, const int &nlen, const int &create, const int &readonly,
            int &err);
/// Closes the descriptor of a negative unit; returns close()'s result.
int zclosec(const int &unit);
/// Closes a descriptor unit, memory file or unit-layer unit.  err is 115 when
/// the close failed (for a descriptor that can mean written data were lost).
void zclose(const int &unit, const char *name, const int &nlen, int &err);

// ------------------------------------------------------------ block I/O
/// Reads / writes count 4-byte words at word offset of a descriptor unit, in
/// pieces cut at multiples of 512 bytes of the file.  err 114 / 115.  zwabs
/// with a negative offset writes at the current position.
void zrabs(const int &unit, void *array, const int &count, const int &offset, int &err);
void zwabs(const int &unit, const void *array, const int &count, const int &offset, int &err);
/// Starts an "ERROR" message with the number.
void zrwerr(const int &number);

/// The piece-cutting transfer behind zrabs, zwabs and writeabs, in bytes:
/// positions fd at pos when seek is set, then moves nbytes in pieces (one up
/// to the next 512-byte boundary of pos, then 512 each, then the rest).
/// Returns true when all bytes were moved.
bool zxfer(const int &fd, void *buf, const int64_t &nbytes, const int64_t &pos, const bool &write,
           const bool &seek);

/// Every transfer goes through these two vectored calls, one 512-byte piece
/// per iovec entry (single pieces as one entry).  Tests may replace them to
/// watch the cut; the defaults are readv and writev.
extern ssize_t (*zio_readv)(int fd, const struct iovec *iov, int cnt);
extern ssize_t (*zio_writev)(int fd, const struct iovec *iov, int cnt);

// ------------------------------------------------------------ memory files
/// Copies at most 1024 characters of text into a static buffer, drops
/// trailing blanks (keeping the first character), NUL-terminates and returns
/// the buffer; valid until the next call.
char *deblank(const char *text, const int &len);
/// Sets the shared-memory name prefix (trailing blanks dropped); an empty
/// text clears it, an all-blank one sets a one-blank prefix.
void zmempfx(const char *prefix, const int &len);
/// mode bit 0: read-only; bit 1: create if missing.  size in words (0: not
/// sized).  err 0 or 2; unit = negated descriptor on success.
void zopenm(int &unit, const char *name, const int &nlen, const int &mode, const int &size, int &err);
/// Closes the descriptor; the object stays.  Returns close()'s result.
int zclosem(const int &unit);

// ------------------------------------------------------------ messages
/// The message state: one global instance.
struct cmmsg_block {
  int32_t error_number;
  int32_t message_type;
  int32_t line_count;
  int32_t line_column;
  int32_t auto_output;
  int32_t unit_count;
  int32_t output_units[5];
  int32_t send_switch[5][6];  // [unit entry][type]: type varies fastest
  int32_t table_count;
  int32_t table_numbers[400];
};
struct kmmsg_block {
  char type_names[6][8];
  char message_lines[5][160];
  char table_texts[400][160];
};
extern cmmsg_block cmmsg;
extern kmmsg_block kmmsg;

void setmsg(const char *type, const int &tlen, const int &number);
void clrmsg();
void typmsg(const char *type, const int &tlen);
void apcmsg(const char *text, const int &len);
void apimsg(const int &value);
void getmsg(const int &number, char *text, const int &len);
void outmsg();
void cnvita(const int &value, char *text, const int &len);
void ljust(char *text, const int &len);
/// Copies the first count characters of in to out (as far as outlen
/// reaches), upper-casing (dir != 0) or lower-casing ASCII letters outside
/// quotes.
void modcase(const int &dir, const char *in, const int &inlen, const int &count, char *out,
             const int &outlen);

// Filling the configuration (no routine of pixmill does; callers and tests).
/// Back to the initial state: every integer 0, every character NUL.
void rstmsg();
/// Names message type k (1 to 6); only the first character is consulted.
void namemsg(const int &k, const char *name, const int &len);
/// Adds an output unit; sends[t] (t = 0..5) switches types 1..6 on for it.
/// err 1 when all five entries are in use.
void unitmsg(const int &unit, const int *sends, int &err);
/// Auto-output switch: nonzero writes a full message out when it overflows.
void automsg(const int &on);
/// Adds the text of a numbered message; err 1 when the table is full.
void textmsg(const int &number, const char *text, const int &len, int &err);

#endif
