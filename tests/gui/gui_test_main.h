// Entry of a window test: the web engine needs its process set-up before the
// application object exists.
#pragma once

#include <QApplication>
#include <QtTest>

#include "app/platform.h"

#define QNL_GUI_TEST_MAIN(TestClass)                            \
  int main(int argc, char** argv) {                             \
    qnl::prepare_web_engine_environment();                      \
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); \
    QApplication app(argc, argv);                               \
    app.setQuitOnLastWindowClosed(false);                       \
    TestClass test;                                             \
    return QTest::qExec(&test, argc, argv);                     \
  }
