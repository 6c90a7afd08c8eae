/* See plain_reader.h. */
#define _DEFAULT_SOURCE
#include "plain_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

struct plain_record {
  uint32_t stamp; /* the 28-bit time word, then 4 bits of tenths */
  int8_t x, y, z, deg;
  uint8_t msec, humi;
};

static int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

static int unpack(const char* line, struct plain_record* out) {
  int v[20];
  for (int i = 0; i < 20; ++i)
    if ((v[i] = hex(line[i])) < 0) return 0;
  uint32_t word = 0;
  for (int i = 0; i < 7; ++i) word = word * 16 + (uint32_t)v[i];
  out->stamp = word << 4 | (uint32_t)v[7];
  out->x = (int8_t)(v[8] * 16 + v[9]);
  out->y = (int8_t)(v[10] * 16 + v[11]);
  out->z = (int8_t)(v[12] * 16 + v[13]);
  out->deg = (int8_t)(v[14] * 16 + v[15]);
  out->msec = (uint8_t)(v[16] * 16 + v[17]);
  out->humi = (uint8_t)(v[18] * 16 + v[19]);
  return 1;
}

int plain_download(const char* device, struct plain_result* result) {
  memset(result, 0, sizeof *result);
  int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return 0;
  struct termios tio;
  if (tcgetattr(fd, &tio) == 0) {
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tcsetattr(fd, TCSANOW, &tio);
  }
  if (write(fd, "D", 1) != 1) {
    close(fd);
    return 0;
  }

  size_t size = 0, room = 1 << 16;
  char* text = malloc(room);
  int done = 0;
  while (text && !done) {
    struct pollfd entry = {fd, POLLIN, 0};
    if (poll(&entry, 1, 3000) <= 0) break;
    if (room - size < 8192) {
      char* more = realloc(text, room * 2);
      if (!more) break;
      text = more;
      room *= 2;
    }
    ssize_t n = read(fd, text + size, room - size);
    if (n <= 0) break;
    done = memchr(text + size, '#', (size_t)n) != NULL;
    size += (size_t)n;
  }
  close(fd);
  result->ok = done;
  result->bytes = size;
  if (!text) return 0;

  struct plain_record* records = malloc((size / 22 + 1) * sizeof *records);
  size_t count = 0;
  const char* p = text;
  const char* end = text + size;
  while (records && p < end && *p != '#') {
    const char* eol = memchr(p, '\r', (size_t)(end - p));
    if (!eol) break;
    if (eol - p == 20 && unpack(p, &records[count])) {
      const struct plain_record* r = &records[count++];
      result->check += r->stamp + (unsigned long)(r->x + r->y + r->z + r->deg + r->msec + r->humi);
    } else {
      ++result->bad_lines;
    }
    p = eol + 2;
  }
  result->records = count;
  result->held_bytes = room + (size / 22 + 1) * sizeof *records;
  free(records);
  free(text);
  return done;
}
