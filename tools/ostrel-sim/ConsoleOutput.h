#pragma once
// The simulator's two output streams. Standard output carries nothing but the
// frames received from the line, one per line, exactly as they arrived, so that
// scripts and tests can compare them; everything else is a diagnostic on
// standard error. Both are flushed line by line.

#include <QByteArray>
#include <QString>

namespace ostrel::sim {

void printReceivedFrame(const QByteArray& frame);
void printDiagnostic(const QString& text);

// Bytes shown in a diagnostic: printable ASCII as is, the rest escaped.
QString visibleBytes(const QByteArray& bytes);

}  // namespace ostrel::sim
