#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

namespace zl::testing {

// Runs `action` on the next modal dialog of type T once it is on top. A dialog opened inside
// the action needs its own WhenModal, set up before the click that opens it. When no such
// dialog comes, the test fails and whatever dialog is on top is rejected, so nothing hangs.
template <class T>
void WhenModal(std::function<void(T&)> action, int pollsLeft = 500) {
    QTimer::singleShot(0, [action = std::move(action), pollsLeft] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            action(*dialog);
            return;
        }
        if (pollsLeft > 0) {
            WhenModal<T>(action, pollsLeft - 1);
            return;
        }
        ADD_FAILURE() << "no modal " << T::staticMetaObject.className() << " came up";
        if (auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget())) other->reject();
    });
}

}  // namespace zl::testing
