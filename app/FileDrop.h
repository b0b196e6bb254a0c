#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

namespace a3 {

// Makes a window take files dropped from a file manager and hand them to
// open, once the drag is over: a refused file's message must not hold the
// file manager's drag open.
class FileDrop : public QObject
{
public:
    FileDrop(QWidget& window, std::function<void(const QStringList&)> open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QStringList&)> _open;
};

} // namespace a3
