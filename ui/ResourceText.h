#pragma once

#include <QString>

namespace ui {

// A window text from the string table, or `templateText` when the table has
// none for `id`.
QString ResourceText(unsigned id, const char* templateText = "");

}  // namespace ui
