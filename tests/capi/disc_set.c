/* A host written in C. With a virtual drive in FOLDER/drives it makes the
 * verified two-disc set of FOLDER/layout.ini through the C interface; on a
 * system without one (Windows, whose recorders are real) it runs the
 * operations that need no recorder.
 *
 *   capi_disc_set FOLDER      (FOLDER made by prepare.cmake, ASCII path)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tessaline/tessaline_c.h"

/* The final report wakes the waiting main thread. */
#if defined(_WIN32)
#include <windows.h>
#define T(text) L##text
#define SEPARATOR '\\'
#define TEXT_LENGTH wcslen
#define TEXT_COMPARE wcscmp
static HANDLE ended; /* auto-reset, made in main */
#define LOCK()
#define UNLOCK()
#define SIGNAL() SetEvent(ended)
#define WAIT() WaitForSingleObject(ended, INFINITE)
#else
#include <pthread.h>
#define T(text) text
#define SEPARATOR '/'
#define TEXT_LENGTH strlen
#define TEXT_COMPARE strcmp
static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t ended = PTHREAD_COND_INITIALIZER;
#define LOCK() pthread_mutex_lock(&mutex)
#define UNLOCK() pthread_mutex_unlock(&mutex)
#define SIGNAL() pthread_cond_signal(&ended)
#define WAIT() pthread_cond_wait(&ended, &mutex)
#endif

static int failures = 0;
#define CHECK(condition)                                              \
  do {                                                                \
    if (!(condition)) {                                               \
      fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                     \
    }                                                                 \
  } while (0)

/* folder, separator, name; in the library's text form and in char. */
static tessaline_char path[1024];
static char narrow[1024];
static const tessaline_char* Path(const char* folder, const char* name) {
  size_t n = 0;
  snprintf(narrow, sizeof narrow, "%s%c%s", folder, SEPARATOR, name);
  for (; narrow[n] != 0; ++n) path[n] = (tessaline_char)narrow[n];
  path[n] = 0;
  return path;
}

static int Exists(const char* folder, const char* name) {
  FILE* file;
  Path(folder, name);
  file = fopen(narrow, "rb");
  if (file != NULL) fclose(file);
  return file != NULL;
}

/* The reports of one disc: the codes seen, and the final one. */
struct Reports {
  unsigned seen;
  int final_code;
  size_t failure_length;
};

static void OnStatus(int32_t code, intptr_t first, intptr_t second,
                     void* context) {
  struct Reports* reports = (struct Reports*)context;
  (void)second;
  if (code == 12) {
    reports->failure_length = TEXT_LENGTH((const tessaline_char*)first);
  }
  if (code < 10 || code > 14) {
    reports->seen |= 1u << code;
    return;
  }
  LOCK();
  reports->final_code = code;
  SIGNAL();
  UNLOCK();
}

static int MakeDisc(tessaline_creator* creator, int disc, int verify,
                    struct Reports* reports) {
  memset(reports, 0, sizeof *reports);
  CHECK(tessaline_create_disc(creator, disc, verify, OnStatus, reports) ==
        TESSALINE_OK);
  LOCK();
  while (reports->final_code == 0) WAIT();
  UNLOCK();
  return reports->final_code;
}

int main(int argc, char** argv) {
  const char* folder;
  tessaline_creator* creator = NULL;
  tessaline_error error;
  uint32_t discs = 0;
  const tessaline_char* temp = NULL;
  tessaline_char work[1024];
  tessaline_char source[1024];
  struct Reports reports;
  size_t count = 99;
  if (argc != 2) {
    fprintf(stderr, "usage: capi_disc_set FOLDER\n");
    return 2;
  }
  folder = argv[1];
#if defined(_WIN32)
  ended = CreateEventW(NULL, FALSE, FALSE, NULL);
#endif

  CHECK(tessaline_create(NULL, NULL, NULL, &creator) ==
        TESSALINE_INVALID_ARGUMENT);
  CHECK(creator == NULL);
  memcpy(work, Path(folder, "work"), sizeof path);
  memcpy(source, Path(folder, "source"), sizeof path);
  if (tessaline_create(work, source, T("RECOVERY"), &creator) != TESSALINE_OK) {
    fprintf(stderr, "no creator\n");
    return 1;
  }

  /* A failure comes back as the exception's kind and message. */
  CHECK(tessaline_analyze_layout(creator, Path(folder, "missing.ini")) ==
        TESSALINE_CREATE_MEDIA);
  CHECK(tessaline_last_error(creator, &error) == TESSALINE_OK);
  CHECK(error.status == TESSALINE_CREATE_MEDIA);
  CHECK(TEXT_LENGTH(error.message) > TEXT_LENGTH(T(" layout ini not found:")));
  CHECK(TEXT_COMPARE(error.message + TEXT_LENGTH(T(" layout ini not found:")),
                     path) == 0);

  CHECK(tessaline_analyze_layout(creator, Path(folder, "layout.ini")) ==
        TESSALINE_OK);
  CHECK(tessaline_last_error(creator, &error) == TESSALINE_OK);
  CHECK(error.status == TESSALINE_OK && error.message[0] == 0);
  CHECK(tessaline_num_discs(creator, &discs) == TESSALINE_OK && discs == 2);

  CHECK(tessaline_set_temp_dir(creator, Path(folder, "other")) == TESSALINE_OK);
  CHECK(tessaline_get_temp_dir(creator, &temp) == TESSALINE_OK);
  CHECK(temp != NULL && TEXT_COMPARE(temp, path) == 0);
  CHECK(tessaline_set_temp_dir(creator, work) == TESSALINE_OK);

  CHECK(tessaline_stage(creator, 2) == TESSALINE_OK);
  CHECK(Exists(folder, "work/RECOVERY2/data/folder7/file7.txt"));

  if (!Exists(folder, "drives/drive0/drive.ini")) {
    /* No recorder: the enumeration finds none, and a disc fails. */
    CHECK(tessaline_list_recorders(NULL, 0, &count) == TESSALINE_OK);
    CHECK(count == 0);
    CHECK(MakeDisc(creator, 2, 0, &reports) == 12);
    CHECK(reports.failure_length > 0);
  } else {
    tessaline_recorder recorders[2];
    int32_t type = 0;
    int32_t blank = 0;
    CHECK(tessaline_list_recorders(recorders, 2, &count) == TESSALINE_OK);
    CHECK(count == 1 && recorders[0].index == 0);
    CHECK(TEXT_COMPARE(recorders[0].vendor_id, T("VIRTUAL")) == 0);
    CHECK(recorders[0].media_support_flags[7] == 1); /* DVD+RW */
    CHECK(tessaline_media_type_in_recorder(0, &type, NULL) == TESSALINE_OK);
    CHECK(type == 7);
    CHECK(tessaline_is_media_blank(0, &blank) == TESSALINE_OK && blank == 1);

    CHECK(tessaline_set_drive(creator, 0) == TESSALINE_OK);
    CHECK(MakeDisc(creator, 1, 1, &reports) == 10);
    /* Written, then read back (9) and found equal (10). */
    CHECK((reports.seen & (1u << 8)) && (reports.seen & (1u << 9)));
    CHECK(tessaline_eject_close(0, 0) == TESSALINE_OK);
    CHECK(tessaline_eject_close(0, 1) == TESSALINE_OK);
    CHECK(MakeDisc(creator, 2, 1, &reports) == 10);
    CHECK((reports.seen & (1u << 8)) && (reports.seen & (1u << 9)));
    CHECK(tessaline_eject_close(0, 0) == TESSALINE_OK);
    CHECK(Exists(folder, "drives/drive0/ejected/disc-001.img"));
    CHECK(Exists(folder, "drives/drive0/ejected/disc-002.img"));
  }
  tessaline_destroy(creator);
  printf("%s\n", failures == 0 ? "passed" : "FAILED");
  return failures == 0 ? 0 : 1;
}
