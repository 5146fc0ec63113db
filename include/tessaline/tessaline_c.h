/* The recovery-disc library for hosts that are not built with the library's
 * own C++ compiler, or not written in C++ at all (C, C#, Delphi, Python
 * through ctypes): plain C functions around the class `Tessaline` of
 * tessaline/tessaline.h, with the same operations and the same behaviour.
 *
 * Texts. `tessaline_char` is `wchar_t` (UTF-16) on Windows and `char`
 * holding UTF-8 elsewhere; every text argument is NUL-terminated and is only
 * read during the call (the library keeps copies).
 *
 * Failures. No exception ever leaves these functions. Every function but
 * tessaline_destroy returns a status: TESSALINE_OK, or the kind of failure
 * (the C++ exception that the operation threw). The details of the last
 * failure (message, megabytes needed, chunk, code, reason) are read with
 * tessaline_last_error:
 *   - for the functions that take a creator handle, from that handle;
 *   - for tessaline_create and the recorder and drive services (which take
 *     no handle), from the calling thread, by passing a null handle.
 * Each call replaces the record it reports to, success included (a success
 * leaves the status TESSALINE_OK), except tessaline_cancel, which reports
 * nothing.
 *
 * Threads. A creator is used from one thread at a time (the host's);
 * tessaline_cancel alone may be called from any thread, the status callback
 * included. The recorder and drive services may be called from any thread;
 * on Windows that thread must have entered COM.
 */
#ifndef TESSALINE_TESSALINE_C_H_
#define TESSALINE_TESSALINE_C_H_

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "tessaline/export.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
typedef wchar_t tessaline_char;
#else
typedef char tessaline_char;
#endif

/* The creator of one set of recovery discs; opaque. */
typedef struct tessaline_creator tessaline_creator;

/* What a call ended with: success, or the exception that it turned into a
 * status. */
typedef int32_t tessaline_status;
enum {
  TESSALINE_OK = 0,
  /* CreateMediaException: message. */
  TESSALINE_CREATE_MEDIA = 1,
  /* CreateMediaExceptionMoreDiskSpaceNeededPlease: megabytes_needed. */
  TESSALINE_MORE_DISK_SPACE_NEEDED = 2,
  /* MediaWriterException: message. */
  TESSALINE_MEDIA_WRITER = 3,
  /* MediaVerifyException: message, chunk, code. */
  TESSALINE_MEDIA_VERIFY = 4,
  /* UserNeededException: reason. */
  TESSALINE_USER_NEEDED = 5,
  /* FileException: path, message. */
  TESSALINE_FILE = 6,
  /* The library ran out of memory. */
  TESSALINE_OUT_OF_MEMORY = 7,
  /* A null handle, or a null pointer where a value is required. */
  TESSALINE_INVALID_ARGUMENT = 8,
  /* Any other failure; message says what, where it is known. */
  TESSALINE_FAILURE = 9
};

/* The details of the last failure. The texts are never null (empty when the
 * failure has none) and belong to the library: they stay valid until the
 * next call that reports to the same record (see above), or until the
 * handle is destroyed. */
typedef struct tessaline_error {
  tessaline_status status;
  const tessaline_char* message;
  const tessaline_char* path;
  int32_t megabytes_needed;
  int32_t chunk;
  int32_t code;
  int32_t reason;
} tessaline_error;

/* Copies the last failure of `creator`, or with a null `creator` the
 * calling thread's last failure of tessaline_create and of the recorder and
 * drive services, into the caller's `error`. Returns TESSALINE_OK, or
 * TESSALINE_INVALID_ARGUMENT for a null `error`. Reports nothing itself. */
TESSALINE_API tessaline_status
tessaline_last_error(const tessaline_creator* creator, tessaline_error* error);

/* The status report of a running disc, with the codes of `StatusCallback`,
 * made on the job's thread. For code 12, `first` is the address of the
 * failure text (a `const tessaline_char*`), valid during the call only. */
typedef void (*tessaline_status_callback)(int32_t code, intptr_t first,
                                          intptr_t second, void* context);

/* Makes a creator with the work folder, the source folder and the media
 * name, and stores it in `*creator` (the caller owns it and releases it
 * with tessaline_destroy). On failure `*creator` is null. */
TESSALINE_API tessaline_status tessaline_create(
    const tessaline_char* work_folder, const tessaline_char* source_folder,
    const tessaline_char* media_name, tessaline_creator** creator);

/* Releases the creator: waits for its running disc, if any, to end (cancel
 * it first to end it early). A null `creator` is ignored. */
TESSALINE_API void tessaline_destroy(tessaline_creator* creator);

/* Reads the layout file into the disc plan. Fails with
 * TESSALINE_CREATE_MEDIA or TESSALINE_MORE_DISK_SPACE_NEEDED. */
TESSALINE_API tessaline_status tessaline_analyze_layout(
    tessaline_creator* creator, const tessaline_char* layout_path);

/* Stores the number of discs in the plan in `*count`. */
TESSALINE_API tessaline_status tessaline_num_discs(tessaline_creator* creator,
                                                   uint32_t* count);

/* Copies the disc's items into its staging folder, on the calling thread.
 * Fails with TESSALINE_MEDIA_WRITER (missing items) or TESSALINE_FILE. */
TESSALINE_API tessaline_status tessaline_stage(tessaline_creator* creator,
                                               int32_t disc);

/* Starts making the disc and returns at once; the job reports through
 * `callback` (may be null) with `context`, which belongs to the caller and
 * must stay valid until the final report (10 to 14). verify == 1 verifies
 * the disc after writing. */
TESSALINE_API tessaline_status
tessaline_create_disc(tessaline_creator* creator, int32_t disc, int32_t verify,
                      tessaline_status_callback callback, void* context);

/* The recorder index that later discs are written with. */
TESSALINE_API tessaline_status tessaline_set_drive(tessaline_creator* creator,
                                                   int32_t index);

/* Replaces the work folder. */
TESSALINE_API tessaline_status tessaline_set_temp_dir(
    tessaline_creator* creator, const tessaline_char* folder);

/* Stores the work folder in `*folder`. The text belongs to the creator and
 * stays valid until the creator's next call other than tessaline_cancel. */
TESSALINE_API tessaline_status tessaline_get_temp_dir(
    tessaline_creator* creator, const tessaline_char** folder);

/* Cancels the running disc, and every disc the creator starts afterwards.
 * Callable from any thread. */
TESSALINE_API tessaline_status tessaline_cancel(tessaline_creator* creator);

/* Sizes of the texts of a recorder record, NULs included. */
#define TESSALINE_RECORDER_ID_SIZE 64
#define TESSALINE_MOUNT_POINTS_SIZE 260

/* One recorder, as tessaline_list_recorders reports it. Texts are cut to
 * their array (on a character boundary) and always NUL-terminated. The flag
 * arrays are indexed by IMAPI_MEDIA_PHYSICAL_TYPE (tessaline/media_types.h);
 * each flag is 0 or 1. */
typedef struct tessaline_recorder {
  int32_t index;
  int32_t current_media_type;
  uint8_t current_media_flags[20];
  uint8_t media_support_flags[20];
  tessaline_char vendor_id[TESSALINE_RECORDER_ID_SIZE];
  tessaline_char product_id[TESSALINE_RECORDER_ID_SIZE];
  tessaline_char mount_points[TESSALINE_MOUNT_POINTS_SIZE];
} tessaline_recorder;

/* Lists the recorders into the caller's array of `capacity` records
 * (`recorders` may be null when `capacity` is 0) and stores the number of
 * recorders found in `*count`; when that exceeds `capacity`, only the first
 * `capacity` are filled. A failing enumeration is no failure here: like
 * `ListRecorders`, it gives the recorders found before it failed. */
TESSALINE_API tessaline_status tessaline_list_recorders(
    tessaline_recorder* recorders, size_t capacity, size_t* count);

/* Stores the type of the medium in the recorder (IMAPI_MEDIA_PHYSICAL_TYPE)
 * in `*media_type` and the medium's status in `*media_status` (may be
 * null), as `MediaTypeInRecorder`. */
TESSALINE_API tessaline_status tessaline_media_type_in_recorder(
    int32_t index, int32_t* media_type, int32_t* media_status);

/* Stores 1 in `*blank` when the recorder holds a blank medium, else 0. */
TESSALINE_API tessaline_status tessaline_is_media_blank(int32_t index,
                                                        int32_t* blank);

/* Closes the recorder's tray (close != 0) or ejects the medium. */
TESSALINE_API tessaline_status tessaline_eject_close(uint32_t index,
                                                     int32_t close);

/* Locks (lock != 0) or unlocks the medium in the drive; stores the result
 * of `DriveLock` (0 = done) in `*result` (may be null). */
TESSALINE_API tessaline_status tessaline_drive_lock(uint32_t index,
                                                    int32_t lock,
                                                    int32_t* result);

/* Disables (disable != 0) or enables the recorder's media change
 * notification; stores the result of `DisableEnableMCN` (1 = done) in
 * `*result` (may be null). */
TESSALINE_API tessaline_status tessaline_disable_enable_mcn(uint32_t index,
                                                            int32_t disable,
                                                            int32_t* result);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TESSALINE_TESSALINE_C_H_ */
