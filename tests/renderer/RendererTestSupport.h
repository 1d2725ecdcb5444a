#pragma once

#include <memory>
#include <string>

#include "output/AsioHost.h"
#include "output/AsioWrapper.h"
#include "platform/TextConv.h"

namespace pulsetest {

// The renderer library as the player loads it: the binding made from the
// folder that holds wasapirenderer.so, with the WASAPI route switched on.
inline std::shared_ptr<CAsioWrapperImpl> LoadRenderer() {
  auto binding = CAsioWrapperImpl::Create(platform::FromUtf8(QP_RENDERER_DIR));
  binding->SetWasapi(true);
  return binding;
}

inline std::string Utf8(const char16_t* text) {
  return platform::ToUtf8(platform::FromUtf16(text));
}

inline std::u16string Utf16(const std::string& text) {
  return platform::ToUtf16(platform::FromUtf8(text));
}

}  // namespace pulsetest
