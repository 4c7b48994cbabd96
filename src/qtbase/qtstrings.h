#pragma once
#include <QString>
#include <string>
#include <string_view>

namespace zl {

// Model strings are GBK bytes; Qt sees them only through these two.
QString Q(std::string_view gbk);
std::string Gbk(const QString& text);

}  // namespace zl
