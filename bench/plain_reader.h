/* A plain C reader of a logger's download, the yardstick of the record
 * benchmark: it opens the serial device raw at 19200 8N1, sends "D", reads
 * with poll() until the reply's "#", splits the reply at CR LF and unpacks
 * every 20-digit line into a fixed-size record. */
#ifndef VKTCOM_BENCH_PLAIN_READER_H
#define VKTCOM_BENCH_PLAIN_READER_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct plain_result {
  int ok;               /* 1: "#" seen; 0: silence of 3000 ms or an error */
  size_t bytes;         /* reply bytes read */
  size_t records;       /* lines unpacked */
  size_t bad_lines;     /* lines that are not 20 hexadecimal digits */
  size_t held_bytes;    /* reply text and records held at the end */
  unsigned long check;  /* sum over the unpacked fields, so that none is skipped */
};

int plain_download(const char* device, struct plain_result* result);

#ifdef __cplusplus
}
#endif

#endif
