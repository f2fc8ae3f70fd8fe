#include "OutputPassThrough.h"

#include "core/SystemError.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace runel::cli {

namespace {

// What JSON allows before a value.
bool isJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

OutputPassThrough::OutputPassThrough(int fd, bool holdsListLine)
    : m_fd(fd)
    , m_holdsListLine(holdsListLine)
{ }

void OutputPassThrough::write(const char *data, std::size_t size)
{
    std::lock_guard lock(m_mutex);
    if (!m_holdsListLine) {
        emit(QByteArray::fromRawData(data, qsizetype(size)));
        return;
    }
    QByteArray out;
    const char *end = data + size;
    while (data < end) {
        if (m_state == LineState::passing) {
            const auto *newline
                = static_cast<const char *>(std::memchr(data, '\n', std::size_t(end - data)));
            const char *stop = newline ? newline + 1 : end;
            out.append(data, stop - data);
            data = stop;
            if (newline)
                m_state = LineState::atStart;
            continue;
        }
        if (m_heldIsComplete) { // more output: the held line was not the last one
            out += m_held;
            m_held.clear();
            m_heldIsComplete = false;
        }
        const char c = *data++;
        if (m_state == LineState::holding) {
            m_held.append(c);
            if (c == '\n') {
                m_heldIsComplete = true;
                m_state = LineState::atStart;
            }
        } else if (isJsonSpace(c)) {
            m_held.append(c);
        } else if (c == '[') {
            m_held.append(c);
            m_state = LineState::holding;
        } else {
            out += m_held;
            m_held.clear();
            out.append(c);
            m_state = c == '\n' ? LineState::atStart : LineState::passing;
        }
    }
    emit(out);
}

void OutputPassThrough::endOfRun(bool listShown)
{
    std::lock_guard lock(m_mutex);
    if (!listShown)
        emit(m_held);
    m_held.clear();
    m_heldIsComplete = false;
    m_state = LineState::atStart;
}

QString OutputPassThrough::failure() const
{
    std::lock_guard lock(m_mutex);
    return m_error == 0 ? QString() : systemErrorText(m_error);
}

void OutputPassThrough::emit(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    std::size_t size = std::size_t(bytes.size());
    while (size > 0 && m_error == 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            m_error = written < 0 ? errno : EIO;
        else {
            data += written;
            size -= std::size_t(written);
        }
    }
}

} // namespace runel::cli
