#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <mutex>

namespace plat {
namespace {
std::mutex g_lock;
std::function<int(BoxKind, const QString&)> g_hook;
QString g_title = QStringLiteral("ZARN Monitor");
} // namespace

void SetApplicationTitle(const QString& title)
{
    std::lock_guard lock(g_lock);
    g_title = title;
}

QString ApplicationTitle()
{
    std::lock_guard lock(g_lock);
    return g_title;
}

int ShowMessageBox(BoxKind kind, const QString& text)
{
    std::function<int(BoxKind, const QString&)> hook;
    {
        std::lock_guard lock(g_lock);
        hook = g_hook;
    }
    if (hook)
        return hook(kind, text);
    const QString title = ApplicationTitle();
    switch (kind) {
    case BoxKind::Error:
        QMessageBox::critical(QApplication::activeWindow(), title, text);
        return IDOK;
    case BoxKind::Warning:
        QMessageBox::warning(QApplication::activeWindow(), title, text);
        return IDOK;
    case BoxKind::Confirm:
        return QMessageBox::question(QApplication::activeWindow(), title, text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
                   ? IDYES
                   : IDNO;
    }
    return IDOK;
}

void SetMessageBoxHook(std::function<int(BoxKind, const QString&)> hook)
{
    std::lock_guard lock(g_lock);
    g_hook = std::move(hook);
}

} // namespace plat
