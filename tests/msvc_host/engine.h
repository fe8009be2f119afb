/* The seam between the stand-in mod host (standin/, built for the MSVC C++ ABI) and the
   simulated engine behind it (the program that loads it, built by GCC). Plain C, so both
   compilers agree on every type. */
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the stand-in asks of the engine. Object, class, function and property handles are the
   simulated engine's addresses; the stand-in reads an object's header fields itself, at the
   engine's offsets, as the real host does. */
typedef struct KvrEngine {
  uint32_t (*find_name)(const wchar_t* text); /* comparison index; 0 when absent */
  /* Text into out (capacity characters); returns the whole length. */
  size_t (*object_name)(const void* object, wchar_t* out, size_t capacity);
  size_t (*field_name)(const void* property, wchar_t* out, size_t capacity);
  /* Calls add(context, object) for every live object of the class or one derived from it. */
  void (*find_all_of)(const wchar_t* class_name, void (*add)(void* context, void* object),
                      void* context);
  void* (*find_object)(const wchar_t* path);
  void* (*property_in_chain)(const void* object, const wchar_t* name);
  void* (*function_in_chain)(const void* object, const wchar_t* name);
  uint16_t* (*parms_size)(void* function);
  void* (*first_property)(void* structure);
  void* (*next_property)(void* property);
  int32_t* (*offset)(void* property);
  uint8_t* (*byte_offset)(void* property);
  uint8_t* (*field_mask)(void* property);
  void** (*struct_type)(void* property);
  void (*process_event)(void* object, void* function, void* params);
  void* (*malloc)(size_t size, uint32_t alignment);
  void (*free)(void* block);
  /* A line one of the host's output devices received; device 1 takes the optional argument. */
  void (*device_line)(int device, const wchar_t* text, size_t length, int optional_arg);
} KvrEngine;

/* Host calls the stand-in answers with an MSVC C++ exception when asked to (bit per call). */
enum KvrThrowingCall {
  KVR_THROW_FIND_ALL_OF = 1 << 0,
  KVR_THROW_FIND_OBJECT = 1 << 1,
  KVR_THROW_FIELD_NAME = 1 << 2,
  KVR_THROW_PROCESS_EVENT = 1 << 3,
  KVR_THROW_REMOVE_LISTENER = 1 << 4,
  KVR_THROW_DEVICE_1 = 1 << 5,
  KVR_THROW_OBJECT_NAME = 1 << 6,
  KVR_THROW_MALLOC = 1 << 7
};

/* What the stand-in saw. */
typedef struct KvrStandinReport {
  int64_t updates;         /* on_update calls made (slot 1) */
  int64_t unreal_inits;    /* on_unreal_init calls made (slot 2) */
  int64_t callbacks;       /* ProcessEvent pre-callbacks registered */
  int64_t callback_calls;  /* calls made into them */
  int64_t function_copies; /* std::function copies, moves and destructions done */
  int64_t function_moves;
  int64_t function_destroys;
  int64_t listeners;        /* delete listeners registered now */
  int64_t listener_notices; /* NotifyUObjectDeleted calls made */
  int64_t listener_shutdowns;
  int64_t exceptions_thrown;
  int64_t blocks_handed_over; /* heap blocks the mod took over (strings, vectors) */
  int64_t heap_unexplained;   /* busy blocks on the host's heap nobody accounts for */
  wchar_t mod_name[64];       /* the mod object's ModName, read as the host reads it */
  wchar_t mod_version[16];
} KvrStandinReport;

/* The stand-in's own entry points (C names; the host's are C++ ones). */
typedef void (*KvrStandinStart)(const KvrEngine* engine, int throwing_calls, int gmalloc);
typedef void (*KvrStandinSet)(int value);              /* throwing calls (mask), GMalloc (0 or 1) */
typedef int (*KvrStandinLoadMod)(const wchar_t* path); /* 1 when start_mod gave an object */
typedef void (*KvrStandinCall)(void); /* update, unreal init, other events, uninstall, unload */
typedef void (*KvrStandinProcessEvent)(void* object, void* function, void* params);
typedef void (*KvrStandinObjectDeleted)(const void* object, int32_t index);
typedef void (*KvrStandinReportFn)(KvrStandinReport* out, int read_mod_info);

#ifdef __cplusplus
}
#endif
