#pragma once

#include <QByteArray>
#include <QString>

// The bytes of a serial line as text and back. A line is kept as printable ASCII; every other
// byte, and the backslash that starts an escape, is written as \xNN.
namespace SerialText {

QString escaped(const QByteArray &bytes);
// A message given as text: \n, \r, \t, \\ and \xNN stand for their bytes, the rest is UTF-8.
QByteArray unescaped(const QString &text);

} // namespace SerialText
