"""A host in Python with nothing but ctypes: lists the virtual recorders and
makes disc 2 of the layout in FOLDER (made by prepare.cmake) on the first.

    python3 ctypes_host.py LIBRARY FOLDER
"""
import ctypes
import os
import sys
import threading

library_path, folder = sys.argv[1:3]
lib = ctypes.CDLL(library_path)
# The library's texts: UTF-16 on Windows, UTF-8 elsewhere.
char = ctypes.c_wchar if os.name == "nt" else ctypes.c_char
text = ctypes.c_wchar_p if os.name == "nt" else ctypes.c_char_p


def encoded(value):
    return value if os.name == "nt" else value.encode()


class Recorder(ctypes.Structure):
    _fields_ = [("index", ctypes.c_int32), ("current_media_type", ctypes.c_int32),
                ("current_media_flags", ctypes.c_uint8 * 20),
                ("media_support_flags", ctypes.c_uint8 * 20),
                ("vendor_id", char * 64), ("product_id", char * 64),
                ("mount_points", char * 260)]


Callback = ctypes.CFUNCTYPE(None, ctypes.c_int32, ctypes.c_ssize_t,
                            ctypes.c_ssize_t, ctypes.c_void_p)
lib.tessaline_create.argtypes = [text, text, text, ctypes.POINTER(ctypes.c_void_p)]
lib.tessaline_analyze_layout.argtypes = [ctypes.c_void_p, text]
lib.tessaline_create_disc.argtypes = [ctypes.c_void_p, ctypes.c_int32,
                                      ctypes.c_int32, Callback, ctypes.c_void_p]
lib.tessaline_destroy.argtypes = [ctypes.c_void_p]

recorders = (Recorder * 4)()
count = ctypes.c_size_t()
assert lib.tessaline_list_recorders(recorders, 4, ctypes.byref(count)) == 0
assert count.value == 1, count.value
assert recorders[0].vendor_id == encoded("VIRTUAL"), recorders[0].vendor_id
print("recorder 0:", recorders[0].vendor_id, recorders[0].product_id)

creator = ctypes.c_void_p()
assert lib.tessaline_create(encoded(os.path.join(folder, "work")),
                            encoded(os.path.join(folder, "source")),
                            encoded("RECOVERY"), ctypes.byref(creator)) == 0
assert lib.tessaline_analyze_layout(
    creator, encoded(os.path.join(folder, "layout.ini"))) == 0
codes = []
ended = threading.Event()


@Callback
def on_status(code, first, second, context):
    codes.append(code)
    if 10 <= code <= 14:
        ended.set()


assert lib.tessaline_create_disc(creator, 2, 0, on_status, None) == 0
ended.wait()
lib.tessaline_destroy(creator)
print("reports:", codes)
assert codes[-1] == 10 and 8 in codes and 15 in codes, codes
assert lib.tessaline_eject_close(0, 0) == 0
assert os.path.getsize(
    os.path.join(folder, "drives", "drive0", "ejected", "disc-001.img")) > 0
