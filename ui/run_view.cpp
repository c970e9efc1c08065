#include "ui/run_view.h"

#include "ui/text_area.h"

#include <QLineEdit>
#include <QWidget>

#include <algorithm>

namespace kqc {

RunView::RunView(TextArea& logBox, QLineEdit& urlField, QWidget& window)
    : m_logBox(logBox), m_urlField(urlField), m_window(window), m_title(window.windowTitle()) {
    QObject::connect(&m_frame, &QTimer::timeout, [this] { showWritten(); });
    m_frame.start(16);
}

void RunView::showLine(std::string_view line) {
    std::lock_guard lock(m_mutex);
    m_lines.append("\r\n").append(line);
}

void RunView::webServerUrlChanged(std::string_view url) {
    std::lock_guard lock(m_mutex);
    m_url = url;
}

void RunView::sourcesFound(std::size_t total) {
    m_total = total;
}

// The window's run is one job: its lines were shown as they came, none are held.
void RunView::sourceDone(FileOutcome outcome, std::string_view /*heldLines*/) {
    if (outcome == FileOutcome::saved)
        ++m_saved;
    else if (outcome != FileOutcome::stopped)
        ++m_notSaved;
}

void RunView::showWritten() {
    std::string lines;
    std::optional<std::string> url;
    {
        std::lock_guard lock(m_mutex);
        lines.swap(m_lines);
        url.swap(m_url);
    }
    if (url) m_urlField.setText(QString::fromUtf8(url->data(), static_cast<qsizetype>(url->size())));
    if (!lines.empty()) m_logBox.append(lines);
    // The title changes four times a second at most: each change goes to the window system, and
    // at one a frame a batch of quick entries took measurably longer (workload 3).
    const std::size_t total = m_total;
    if (!total || (m_titleShown.isValid() && m_titleShown.elapsed() < 250)) return;
    m_titleShown.start();
    const std::size_t current = std::min(m_saved + m_notSaved + 1, total);
    m_window.setWindowTitle(
        QStringLiteral("%1 of %2 (Esc to stop) - %3").arg(current).arg(total).arg(m_title));
}

}  // namespace kqc
