#include "FileItem.h"

#include <QDir>

namespace runel {

QString FileItem::standardizedPath() const
{
    return QDir::cleanPath(path);
}

QString FileItem::nameWithoutExtension() const
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QStringView name = QStringView(path).sliced(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return (dot > 0 ? name.first(dot) : name).toString();
}

} // namespace runel
