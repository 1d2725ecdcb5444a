#pragma once

#include <QColor>

// The colours the panel and the program icon share.
inline const QColor kLit(11, 183, 197);
inline const QColor kUnlit(11, 183, 197, 38);
inline const QColor kPanelTop(58, 62, 70);
inline const QColor kPanelBottom(28, 30, 34);
inline const QColor kPanelEdge(16, 17, 20);
inline const QColor kLcdGlass(8, 20, 24);
