#include "ui/ResourceText.h"

#include "platform/StringTable.h"

namespace ui {

QString ResourceText(unsigned id, const char* templateText) {
  const std::wstring text = platform::LoadResString(id);
  return text.empty() ? QString::fromUtf8(templateText) : QString::fromStdWString(text);
}

}  // namespace ui
