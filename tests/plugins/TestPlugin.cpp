// A plug-in for tests, built in several variants (see tests/CMakeLists.txt).
// It includes only the plug-in header and links nothing of the player. The
// files it opens describe the stream to serve (TestPluginFile.h); every byte
// it delivers follows TestPluginByte, so the player's copies can be checked.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "sources/PluginInterface.h"
#include "tests/plugins/TestPluginFile.h"

#ifndef TP_NAME
#define TP_NAME u"Test Plugin"
#endif
#ifndef TP_EXTENSIONS
#define TP_EXTENSIONS u"TPA"
#endif
#ifndef TP_VERSION
#define TP_VERSION u"0.1"
#endif
#ifndef TP_MULTI_INSTANCE
#define TP_MULTI_INSTANCE 1
#endif
#ifndef TP_ACCEPT_ID
#define TP_ACCEPT_ID 1
#endif
#ifndef TP_UNTERMINATED_TEXTS
#define TP_UNTERMINATED_TEXTS 0
#endif

namespace {

struct TestPlugin : CPlayerPluginIF {
  bool initialized = false;
  int mode = PPI_MODE_DOP;
  bool open = false;
  testplugin::Header header{};
  std::string title, artist;
  int first = 0, last = 0;
  void* held = nullptr;
  int reads = 0;
};

int liveObjects = 0;

TestPlugin* Self(CPlayerPluginIF* self) {
  return static_cast<TestPlugin*>(self);
}

int32_t CopyText(CPlayerPluginIF* self, const char16_t* text, char16_t* buffer, int32_t length) {
  if (!Self(self)->initialized) return PPI_E_NOT_INITIALIZED;
  if (buffer == nullptr || length <= 0) return PPI_E_ARGUMENT;
  const auto units = static_cast<int32_t>(std::char_traits<char16_t>::length(text));
  if (TP_UNTERMINATED_TEXTS) {
    // Fills every unit it was given and never terminates.
    for (int32_t i = 0; i < length; ++i)
      buffer[i] = text[i % units];
    return PPI_OK;
  }
  if (length <= units) return PPI_E_ARGUMENT;
  std::memcpy(buffer, text, (units + 1) * sizeof(char16_t));
  return PPI_OK;
}

int32_t Initialize(CPlayerPluginIF* self, const PPI_GUID* id) {
  const PPI_GUID known = PPI_INTERFACE_ID_INIT;
  Self(self)->initialized = TP_ACCEPT_ID && id != nullptr && std::memcmp(id, &known, 16) == 0;
  return Self(self)->initialized ? PPI_OK : PPI_E_NOT_INITIALIZED;
}

int32_t GetName(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  return CopyText(self, TP_NAME, buffer, length);
}
int32_t GetExtensions(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  return CopyText(self, TP_EXTENSIONS, buffer, length);
}
int32_t GetVersion(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  return CopyText(self, TP_VERSION, buffer, length);
}

#define TP_CHECK_READY(self) \
  if (!Self(self)->initialized) return PPI_E_NOT_INITIALIZED;

int32_t OpenFile(CPlayerPluginIF* self, const char16_t* path) {
  TP_CHECK_READY(self);
  if (path == nullptr) return PPI_E_ARGUMENT;
  TestPlugin& p = *Self(self);
  std::free(p.held);
  p.held = nullptr;
  p.open = false;
  std::string narrow;  // test paths are ASCII
  for (const char16_t* c = path; *c != 0; ++c)
    narrow += static_cast<char>(*c);
  FILE* file = std::fopen(narrow.c_str(), "rb");
  if (file == nullptr) return PPI_E_OPEN;
  const bool ok = testplugin::ReadFile(file, p.header, p.title, p.artist);
  std::fclose(file);
  if (!ok) p.header = testplugin::Header{};  // unparsed: no channels, no rate
  p.open = true;
  p.reads = 0;
  return PPI_OK;
}

int32_t OpenMemory(CPlayerPluginIF* self, const void*, int32_t) {
  TP_CHECK_READY(self);
  return PPI_E_FAIL;
}

int32_t GetFrameCount(CPlayerPluginIF* self, int32_t* count) {
  TP_CHECK_READY(self);
  if (count == nullptr) return PPI_E_ARGUMENT;
  if (!Self(self)->open) return PPI_E_FAIL;
  *count = Self(self)->header.frameCount;
  return PPI_OK;
}

int32_t GetDataSize(CPlayerPluginIF* self, int32_t* bytes) {
  TP_CHECK_READY(self);
  if (bytes == nullptr) return PPI_E_ARGUMENT;
  *bytes = Self(self)->header.dataSize;
  return PPI_OK;
}

int32_t SetFrameRange(CPlayerPluginIF* self, int32_t first, int32_t last) {
  TP_CHECK_READY(self);
  if (first < 0 || first > last) return PPI_E_ARGUMENT;
  if (!Self(self)->open) return PPI_E_FAIL;
  Self(self)->first = first;
  Self(self)->last = last;
  return PPI_OK;
}

int32_t CopyTag(const std::string& text, void* buffer, int32_t bytes) {
  if (text.empty()) return PPI_OK;
  if (static_cast<int32_t>(text.size()) + 2 > bytes) return PPI_E_FAIL;
  std::memcpy(buffer, text.data(), text.size());
  std::memset(static_cast<char*>(buffer) + text.size(), 0, 2);
  return PPI_OK;
}

int32_t GetTitleArtist(CPlayerPluginIF* self, void* title, int32_t titleBytes,
                       int32_t* titleEncoding, void* artist, int32_t artistBytes,
                       int32_t* artistEncoding) {
  TP_CHECK_READY(self);
  if (title == nullptr || artist == nullptr || titleEncoding == nullptr ||
      artistEncoding == nullptr || titleBytes <= 0 || artistBytes <= 0) {
    return PPI_E_ARGUMENT;
  }
  TestPlugin& p = *Self(self);
  *titleEncoding = p.header.titleEncoding;
  *artistEncoding = p.header.artistEncoding;
  if (CopyTag(p.title, title, titleBytes) != PPI_OK) return PPI_E_FAIL;
  return CopyTag(p.artist, artist, artistBytes);
}

int32_t GetFormat(CPlayerPluginIF* self, WAVEFORMATEX* format) {
  TP_CHECK_READY(self);
  if (format == nullptr) return PPI_E_ARGUMENT;
  const testplugin::Header& h = Self(self)->header;
  format->wFormatTag = 1;
  format->nChannels = static_cast<uint16_t>(h.channels);
  format->nSamplesPerSec = static_cast<uint32_t>(h.sampleRate);
  format->nBlockAlign = static_cast<uint16_t>(h.blockAlign);
  format->nAvgBytesPerSec = static_cast<uint32_t>(h.blockAlign * h.sampleRate);
  format->wBitsPerSample = static_cast<uint16_t>(h.bitsPerSample);
  format->cbSize = 0;
  return PPI_OK;
}

int32_t Read(CPlayerPluginIF* self, void** data, uint32_t* size) {
  TP_CHECK_READY(self);
  if (data == nullptr || size == nullptr) return PPI_E_ARGUMENT;
  TestPlugin& p = *Self(self);
  if (p.held != nullptr || !p.open) return PPI_E_FAIL;
  if ((p.header.flags & testplugin::kFailSecondRead) != 0 && p.reads > 0) return PPI_E_FAIL;
  ++p.reads;
  const int32_t last = p.last < p.header.frameCount ? p.last : p.header.frameCount - 1;
  if (last < p.first) {
    *data = nullptr;
    *size = 0;
    return PPI_OK;
  }
  const size_t bytes = static_cast<size_t>(last - p.first + 1) * p.header.blockAlign;
  auto* out = static_cast<uint8_t*>(std::malloc(bytes));
  if (out == nullptr) return PPI_E_MEMORY;
  for (size_t i = 0; i < bytes; ++i) {
    const size_t frame = p.first + i / p.header.blockAlign;
    out[i] = testplugin::TestPluginByte(frame, i % p.header.blockAlign);
  }
  p.held = out;
  *data = out;
  const bool oversize = (p.header.flags & testplugin::kClaimOversizeRead) != 0;
  *size = static_cast<uint32_t>(oversize ? bytes * 2 : bytes);
  return PPI_OK;
}

int32_t ReleaseData(CPlayerPluginIF* self) {
  TP_CHECK_READY(self);
  std::free(Self(self)->held);
  Self(self)->held = nullptr;
  return PPI_OK;
}

int32_t IsMultiInstance(CPlayerPluginIF* self, int32_t* flag) {
  TP_CHECK_READY(self);
  if (flag == nullptr) return PPI_E_ARGUMENT;
  *flag = TP_MULTI_INSTANCE;
  return PPI_OK;
}

int32_t GetAlignment(CPlayerPluginIF* self, int32_t* frames) {
  TP_CHECK_READY(self);
  if (frames == nullptr) return PPI_E_ARGUMENT;
  *frames = Self(self)->header.alignment;
  return PPI_OK;
}

int32_t IsDsd(CPlayerPluginIF* self, int32_t* flag) {
  TP_CHECK_READY(self);
  if (flag == nullptr) return PPI_E_ARGUMENT;
  *flag = Self(self)->header.isDsd;
  return PPI_OK;
}

int32_t SetOutputMode(CPlayerPluginIF* self, int32_t mode) {
  TP_CHECK_READY(self);
  if (mode != PPI_MODE_DOP && mode != PPI_MODE_RAW_DSD) return PPI_E_ARGUMENT;
  Self(self)->mode = mode;
  return PPI_OK;
}

int32_t GetTagMap(CPlayerPluginIF* self, const void** dictionary) {
  TP_CHECK_READY(self);
  if (dictionary == nullptr) return PPI_E_ARGUMENT;
  *dictionary = &Self(self)->title;
  return PPI_OK;
}

void Destroy(CPlayerPluginIF* self) {
  --liveObjects;
  std::free(Self(self)->held);
  delete Self(self);
}

const PlayerPluginTable kTable = {
    Initialize,   GetName,       GetExtensions,  GetVersion, OpenFile, OpenMemory,  GetFrameCount,
    GetDataSize,  SetFrameRange, GetTitleArtist, GetFormat,  Read,     ReleaseData, IsMultiInstance,
    GetAlignment, IsDsd,         SetOutputMode,  GetTagMap,  Destroy,
};

}  // namespace

extern "C" {

PPI_EXPORT CPlayerPluginIF* ppi_MakeInstance(void) {
  auto* plugin = new (std::nothrow) TestPlugin();
  if (plugin == nullptr) return nullptr;
  plugin->table = &kTable;
  ++liveObjects;
  return plugin;
}

#ifndef TP_NO_RELEASE_EXPORT
PPI_EXPORT void ppi_ReleaseInstance(CPlayerPluginIF* object) {
  if (object != nullptr) object->table->Destroy(object);
}
#endif

// Lets tests count live objects across the module boundary.
PPI_EXPORT int tp_LiveObjects(void) {
  return liveObjects;
}
}
