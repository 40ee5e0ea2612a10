// drag_source FILE...: a small window that starts a drag of the files' URLs, as a file manager
// offers files, when a mouse button is pressed on it, and prints "drop accepted" or "drop
// refused". It stays open afterwards: the target fetches the dropped data from the source after
// the drop, so a source that quits at once (or drops its drag object) leaves it an empty list.
#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <cstdio>

namespace {

class DragSource : public QLabel {
public:
    explicit DragSource(QList<QUrl> urls) : QLabel(QStringLiteral("drag me")), m_urls(std::move(urls)) {
        setWindowTitle(QStringLiteral("drag-source"));
        setFixedSize(160, 80);
    }

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* data = new QMimeData;  // owned by the drag, which is left to Qt: see above
        data->setUrls(m_urls);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
        std::printf("%s\n", action == Qt::IgnoreAction ? "drop refused" : "drop accepted");
        std::fflush(stdout);
    }

private:
    QList<QUrl> m_urls;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (const QString& arg : app.arguments().mid(1)) urls << QUrl::fromLocalFile(QFileInfo(arg).absoluteFilePath());
    if (urls.isEmpty()) {
        std::fprintf(stderr, "usage: drag_source FILE...\n");
        return 2;
    }
    DragSource source(urls);
    source.show();
    return app.exec();
}
