#pragma once
// The file list of a drop: the local files of the drag data, in order. Data that offers no
// local file gives an empty list, which callers treat as "no file list".
#include <QStringList>

class QMimeData;

namespace toolkit {

QStringList DroppedFiles(const QMimeData* data);

}  // namespace toolkit
