// Placeholder until the layout lands; replaced whole by its implementation.
#include "board/window/form1.h"

#include <QCloseEvent>

#include "toolkit/key_preview.h"

Form1::Form1(QWidget* parent) : QWidget(parent) { buildLayout(); connectHandlers(); }
Form1::~Form1() = default;
void Form1::buildLayout() {}
void Form1::connectHandlers() {}
void Form1::closeEvent(QCloseEvent* event) { Form_Unload(); event->accept(); }
