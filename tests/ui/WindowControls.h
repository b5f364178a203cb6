#pragma once

#include <QString>
#include <QWidget>
#include <QtGlobal>

namespace flarecast::ui {

// A control of the window by its object name; a test without it cannot go on.
template <typename T>
T& controlOf(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no control %s", name);
    }
    return *found;
}

}  // namespace flarecast::ui
