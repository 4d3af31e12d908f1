#include "platform/qt/qt_file_dialog.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include "platform/qt/headless.h"
#include "platform/qt/logging.h"

namespace {

QString FromSystem(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}
std::string ToSystem(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

// The filter list's description/pattern pairs as Qt name filters. Qt reads the patterns from the parentheses
// of the text it shows, so the description's own parenthesised patterns are replaced by the pair's pattern,
// and the system's "*.*" (every file) becomes Qt's "*".
QStringList NameFilters(const std::string& filterList) {
    const QStringList items = FromSystem(filterList).split(QChar(u'\0'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        QString description = items[i].trimmed();
        const qsizetype open = description.lastIndexOf(u'(');
        if (open > 0 && description.endsWith(u')')) description = description.left(open).trimmed();
        QStringList patterns = items[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        }
        filters << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters;
}

// The file buffer offers the previous choice as the initial file: everything before its first NUL.
QString InitialFile(const std::string& fileBuffer) {
    return FromSystem(fileBuffer.substr(0, fileBuffer.find('\0'))).trimmed();
}

OpenFileNameReply ReplyFor(const QStringList& chosen) {
    OpenFileNameReply reply;
    reply.Chosen = !chosen.isEmpty();
    if (chosen.size() == 1) {
        const std::string path = ToSystem(QDir::cleanPath(chosen.front()));
        const std::size_t slash = path.rfind('/');
        reply.File = path + '\0';
        reply.FileOffset = static_cast<std::uint16_t>(slash == std::string::npos ? 0 : slash + 1);
        reply.FileTitle = path.substr(reply.FileOffset);
    } else if (chosen.size() > 1) {
        const std::string directory = ToSystem(QFileInfo(chosen.front()).absolutePath());
        reply.File = directory + '\0';
        reply.FileOffset = static_cast<std::uint16_t>(reply.File.size());
        for (const QString& path : chosen) reply.File += ToSystem(QFileInfo(path).fileName()) + '\0';
        reply.File += '\0';
    }
    return reply;
}

// Calls the hook once, when the dialog is shown: its size is settled then, and it is not yet on screen.
class ActivationFilter : public QObject {
public:
    ActivationFilter(QWidget* dialog, const FileDialogService::ActivationHook& hook) : hook_(hook) {
        dialog->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !called_) {
            called_ = true;
            if (hook_) hook_(reinterpret_cast<WindowHandle>(static_cast<QWidget*>(watched)));
        }
        return false;
    }

private:
    const FileDialogService::ActivationHook& hook_;
    bool called_ = false;
};

}  // namespace

WindowHandle QtFileDialogService::OwnerWindow() const {
    return reinterpret_cast<WindowHandle>(owner_);
}

OpenFileNameReply QtFileDialogService::GetOpenFileName(const OpenFileNameRecord& record,
                                                       const ActivationHook& activating) {
    if (!answer_ && IsHeadless()) {
        qCWarning(lcWindow) << "Open-file dialog" << FromSystem(record.lpstrTitle)
                            << "not shown: no person can answer it here; taken as cancelled";
        return {};
    }

    QFileDialog dialog(owner_, FromSystem(record.lpstrTitle));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontResolveSymlinks, (record.Flags & OFN_NODEREFERENCELINKS) != 0);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode((record.Flags & OFN_ALLOWMULTISELECT) != 0 ? QFileDialog::ExistingFiles
                                                                  : QFileDialog::ExistingFile);
    const QStringList filters = NameFilters(record.lpstrFilter);
    dialog.setNameFilters(filters);
    const qsizetype filterIndex = record.nFilterIndex == 0 ? 0 : record.nFilterIndex - 1;
    if (filterIndex < filters.size()) dialog.selectNameFilter(filters[filterIndex]);
    if (!record.lpstrInitialDir.empty()) dialog.setDirectory(FromSystem(record.lpstrInitialDir));
    // A path in the file buffer wins over the initial folder, as with the system's dialog.
    const QString initialFile = InitialFile(record.lpstrFile);
    if (!initialFile.isEmpty()) {
        if (QFileInfo(initialFile).isDir())
            dialog.setDirectory(initialFile);
        else
            dialog.selectFile(initialFile);
    }

    ActivationFilter filter(&dialog, activating);
    if (answer_) {
        QPointer<QFileDialog> shown(&dialog);
        QTimer::singleShot(0, &dialog, [this, shown] {
            if (shown) answer_(*shown);
        });
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    return ReplyFor(dialog.selectedFiles());
}

WindowRect QtFileDialogService::GetWindowRect(WindowHandle window) const {
    const QWidget* widget = reinterpret_cast<const QWidget*>(window);
    QRect frame;
    if (widget != nullptr) {
        frame = widget->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        frame = screen->geometry();  // no owner: its place is the whole screen
    }
    return {frame.x(), frame.y(), frame.x() + frame.width(), frame.y() + frame.height()};
}

void QtFileDialogService::MoveWindow(WindowHandle window, int x, int y) {
    if (QWidget* widget = reinterpret_cast<QWidget*>(window)) widget->move(x, y);
}

ScreenSize QtFileDialogService::GetScreenSize() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {};
    return {screen->geometry().width(), screen->geometry().height()};
}
