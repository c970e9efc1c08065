#pragma once

#include <QObject>
#include <QStringList>

class QMimeData;
class QWidget;

namespace kqc {

struct Form1Controls;

// Drops on the main window: a folder dropped on the source or target folder field becomes its
// text; http or https URLs under the Web Server Url dropped on the file list are added to it as
// entries, the way the run puts them behind that URL again. Every other drop on these fields is
// refused, so that the pointer shows that nothing would happen.
class DropTargets : public QObject {
public:
    DropTargets(const Form1Controls& controls, QWidget& form);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether the drop at point (in watched's coordinates) is taken; it is done only when done
    // is set.
    bool take(QObject* watched, QPointF point, const QMimeData& data, bool done);
    QStringList entriesOf(const QMimeData& data) const;

    const Form1Controls& m_controls;
    QWidget& m_form;
};

}  // namespace kqc
