#ifndef QP_SOURCES_PLUGININTERFACE_H
#define QP_SOURCES_PLUGININTERFACE_H

/* The binary contract between the player and a plug-in file (*.ppi): two
   plain C exports and an object whose first member points to a table of 19
   operations, each taking the object first. Texts are zero-terminated UTF-16
   with lengths in 16-bit units including the terminator; all integers are 32
   bits; WAVEFORMATEX is packed to 18 bytes. Any compiler that follows this
   header builds a plug-in the player can load. */

#include <stdint.h>

#include "sources/WaveFormatEx.h"

#ifdef __cplusplus
extern "C" {
#else
#include <uchar.h>
#endif

/* A 16-byte interface identifier in the standard GUID layout: the first three
   fields little-endian, the last eight bytes in order. */
typedef struct PPI_GUID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
} PPI_GUID;

/* {499A1325-4E7D-4F74-95AC-364A17098EA6} */
#define PPI_INTERFACE_ID_INIT                        \
  {                                                  \
    0x499A1325u, 0x4E7Du, 0x4F74u, {                 \
      0x95, 0xAC, 0x36, 0x4A, 0x17, 0x09, 0x8E, 0xA6 \
    }                                                \
  }

/* Results of plug-in operations. */
enum {
  PPI_OK = 0,
  PPI_E_FAIL = -1,            /* a copy did not fit, nothing open, data held, read error */
  PPI_E_ARGUMENT = -2,        /* null pointer, non-positive length, bad range or mode */
  PPI_E_OPEN = -3,            /* the file cannot be opened */
  PPI_E_MEMORY = -4,          /* out of memory */
  PPI_E_NOT_INITIALIZED = -5, /* Initialize has not accepted an identifier */
  PPI_E_TOO_LARGE = -6,       /* a size exceeds 32 bits */
  PPI_E_SEQUENCE = -1000      /* operation called out of sequence */
};

/* Output modes of SetOutputMode. */
enum { PPI_MODE_DOP = 0, PPI_MODE_RAW_DSD = 1 };

typedef struct CPlayerPluginIF CPlayerPluginIF;

typedef struct PlayerPluginTable {
  int32_t (*Initialize)(CPlayerPluginIF* self, const PPI_GUID* id);
  int32_t (*GetName)(CPlayerPluginIF* self, char16_t* buffer, int32_t length);
  int32_t (*GetExtensions)(CPlayerPluginIF* self, char16_t* buffer, int32_t length);
  int32_t (*GetVersion)(CPlayerPluginIF* self, char16_t* buffer, int32_t length);
  int32_t (*OpenFile)(CPlayerPluginIF* self, const char16_t* path);
  int32_t (*OpenMemory)(CPlayerPluginIF* self, const void* image, int32_t size);
  int32_t (*GetFrameCount)(CPlayerPluginIF* self, int32_t* count);
  int32_t (*GetDataSize)(CPlayerPluginIF* self, int32_t* bytes);
  int32_t (*SetFrameRange)(CPlayerPluginIF* self, int32_t first, int32_t last);
  int32_t (*GetTitleArtist)(CPlayerPluginIF* self, void* title, int32_t titleBytes,
                            int32_t* titleEncoding, void* artist, int32_t artistBytes,
                            int32_t* artistEncoding);
  int32_t (*GetFormat)(CPlayerPluginIF* self, WAVEFORMATEX* format);
  int32_t (*Read)(CPlayerPluginIF* self, void** data, uint32_t* size);
  int32_t (*ReleaseData)(CPlayerPluginIF* self);
  int32_t (*IsMultiInstance)(CPlayerPluginIF* self, int32_t* flag);
  int32_t (*GetAlignment)(CPlayerPluginIF* self, int32_t* frames);
  int32_t (*IsDsd)(CPlayerPluginIF* self, int32_t* flag);
  int32_t (*SetOutputMode)(CPlayerPluginIF* self, int32_t mode);
  int32_t (*GetTagMap)(CPlayerPluginIF* self, const void** dictionary);
  /* Destroys the object and frees its memory. */
  void (*Destroy)(CPlayerPluginIF* self);
} PlayerPluginTable;

struct CPlayerPluginIF {
  const PlayerPluginTable* table;
};

typedef CPlayerPluginIF* (*PPI_MakeInstanceFn)(void);
typedef void (*PPI_ReleaseInstanceFn)(CPlayerPluginIF* object);

#define PPI_MAKE_INSTANCE_NAME "ppi_MakeInstance"
#define PPI_RELEASE_INSTANCE_NAME "ppi_ReleaseInstance"

#if defined(__GNUC__)
#define PPI_EXPORT __attribute__((visibility("default")))
#else
#define PPI_EXPORT
#endif

#ifdef __cplusplus
}
#endif

#endif
