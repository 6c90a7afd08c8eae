/* A host of the installed library as a user writes it: the header from the
 * include folder, linked with -lvktcom, nothing loaded by hand. Finds the
 * logger, downloads its records and prints the first and the last.
 *
 *   vktcom-client [EXPECTED_COUNT]
 *
 * Exit status 0 when every step succeeded (and the record count is
 * EXPECTED_COUNT when given), 1 otherwise, naming the step that failed. */
#include <stdio.h>
#include <stdlib.h>

#include <vktcom.h>

static int fail(const char* step) {
  fprintf(stderr, "vktcom-client: %s failed\n", step);
  com_close();
  form_release();
  return 1;
}

int main(int argc, char** argv) {
  printf("library version %d\n", (int)vkt_dll_ver());
  int32_t port = com_search();
  if (port <= 0) return fail("com_search");
  printf("logger on COM%d\n", (int)port);
  if (com_open(port) != port) return fail("com_open");
  if (!vkt_connect()) return fail("vkt_connect");
  if (!vkt_inputdata()) return fail("vkt_inputdata");
  int32_t count = vkt_datacount();
  printf("%d records\n", (int)count);
  if (argc > 1 && count != atoi(argv[1])) return fail("the record count");
  if (count > 0) {
    char line[VKTCOM_ALL_BUFFER_SIZE];
    vkt_get_all(1, line);
    printf("first: %s\n", line);
    vkt_get_all(count, line);
    printf("last:  %s\n", line);
  }
  com_close();
  form_release();
  return 0;
}
