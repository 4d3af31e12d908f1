#pragma once

#include "window/controls.h"

class QFont;
class QListWidget;
class QPushButton;
class QScrollBar;
class QStatusBar;
class QWidget;

// One Qt widget per control object, kept in step both ways: the object's Changed hook updates the widget at
// once, and a user's action on the widget raises the object's event. Each widget is created as a child of
// parent, which owns it; the hook must be cleared (ReleaseView) before the widget goes away.

int TwipsToPixels(int twips);
// Verdana where installed, else the platform's sans-serif, at 8.25 pt.
QFont WindowFont();

QWidget* MakeLabelView(Label& label, QWidget* parent);
QWidget* MakeGroupBoxView(GroupBox& group, QWidget* parent);
QPushButton* MakeButtonView(Button& button, QWidget* parent);
QScrollBar* MakeScrollBarView(ScrollBar& bar, QWidget* parent);
QListWidget* MakeListBoxView(ListBox& list, QWidget* parent);
QStatusBar* MakeStatusBarView(StatusBar& status, QWidget* parent);

void PlaceView(QWidget* view, const TwipRect& rect);
void ReleaseView(Control& control);
