#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

#include "core/TkTypes.h"

class QLabel;

namespace ui {

class CExListCtrl;

// Fills a plug-in list: 0, or an error code, after which the list is not used.
using PluginListSource = std::function<std::int32_t(TkPluginList*)>;

// The About box: product name, version, legal notice and one row per loaded
// plug-in (name, extensions, version), asked for once when the box is made.
class CDlgAboutbox : public QDialog {
 public:
  explicit CDlgAboutbox(const PluginListSource& plugins, QWidget* parent = nullptr);

  QLabel* productLabel() const { return product_; }
  QLabel* versionLabel() const { return version_; }
  QLabel* legalLabel() const { return legal_; }
  CExListCtrl* pluginList() const { return plugins_; }

 private:
  void FillPluginList(const PluginListSource& source);

  QLabel* product_;
  QLabel* version_;
  QLabel* legal_;
  CExListCtrl* plugins_;
};

}  // namespace ui
