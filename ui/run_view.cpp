#include "ui/run_view.h"

#include "ui/text_area.h"

#include <QLineEdit>

namespace kqc {

RunView::RunView(TextArea& logBox, QLineEdit& urlField) : m_logBox(logBox), m_urlField(urlField) {
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
}

}  // namespace kqc
