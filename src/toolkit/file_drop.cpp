#include "toolkit/file_drop.h"

#include <QMimeData>
#include <QUrl>

namespace toolkit {

QStringList DroppedFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();  // web links are not files
    return files;
}

}  // namespace toolkit
