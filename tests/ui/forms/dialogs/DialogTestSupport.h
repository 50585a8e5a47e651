#pragma once
// Small helpers of the dialog tests: a named child of a window (the test fails when it is
// missing) and values read back from the settings store.

#include "TRegistry.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <string>

template <typename W> W *Child(const QWidget &window, const char *name) {
    W *w = window.findChild<W *>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << "no " << name;
    return w;
}

// One value of the store as text: "int:5", "str:abc", "<missing>" or "<type N>".
inline std::string StoredValue(const std::string &key, const std::string &name) {
    TRegistry reg(KEY_READ);
    if (!reg.OpenKeyReadOnly(key)) return "<no key>";
    switch (reg.GetDataType(name)) {
    case rdInteger: return "int:" + std::to_string(reg.ReadInteger(name));
    case rdString: return "str:" + reg.ReadString(name);
    case rdUnknown: return "<missing>";
    default: return "<type " + std::to_string(reg.GetDataType(name)) + ">";
    }
}
