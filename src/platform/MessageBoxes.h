#pragma once
// Modal message boxes. Tests answer them through a hook instead of a person.
#include <QString>
#include <functional>

namespace plat {

enum class BoxKind { Error, Warning, Confirm };

// Dialog results, numbered as the design's callers expect.
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// The application title: the caption of message boxes and the name the program shows in task lists.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

// Shows a modal box (OK for Error and Warning, Yes/No for Confirm) and returns the result.
int ShowMessageBox(BoxKind kind, const QString& text);
// Answers boxes instead of showing them; nullptr restores the real boxes.
void SetMessageBoxHook(std::function<int(BoxKind, const QString&)> hook);

} // namespace plat
