#include "ReportText.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr qsizetype LinesPerCheckpoint = 64;
constexpr qsizetype BytesPerCheckpoint = 64 * 1024;

bool HasByteOrderMark(const QByteArray& bytes) {
    return bytes.startsWith("\xEF\xBB\xBF");
}

} // namespace

ReportText::ReportText() : checkpoints{{0, 0}} {}

ReportText::ReportText(QByteArray data) : bytes(std::move(data)) {
    utf8 = FileSystem::IsValidUtf8(bytes);
    qsizetype start = utf8 && HasByteOrderMark(bytes) ? 3 : 0;
    checkpoints.push_back({0, start});
    qsizetype line = 0;
    for (qsizetype end = lineEnd(start); end < bytes.size(); end = lineEnd(start)) {
        start = nextLine(end);
        ++line;
        const Checkpoint& last = checkpoints.back();
        if (line - last.line >= LinesPerCheckpoint || start - last.offset >= BytesPerCheckpoint)
            checkpoints.push_back({line, start});
    }
    count = line + 1;
    checkpoints.shrink_to_fit();
}

qsizetype ReportText::lineEnd(qsizetype start) const {
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    // A line feed first, then a carriage return before it: two fast scans instead of a loop
    // that looks at every byte twice.
    const void* feed = std::memchr(data + start, '\n', size_t(size - start));
    const qsizetype limit = feed ? static_cast<const char*>(feed) - data : size;
    const void* ret = std::memchr(data + start, '\r', size_t(limit - start));
    return ret ? static_cast<const char*>(ret) - data : limit;
}

qsizetype ReportText::nextLine(qsizetype end) const {
    const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
    return end + (crlf ? 2 : 1);
}

qsizetype ReportText::lineStart(qsizetype index) const {
    const auto after = std::upper_bound(
        checkpoints.begin(), checkpoints.end(), index,
        [](qsizetype line, const Checkpoint& checkpoint) { return line < checkpoint.line; });
    const Checkpoint& from = *(after - 1);
    qsizetype start = from.offset;
    for (qsizetype line = from.line; line < index; ++line)
        start = nextLine(lineEnd(start));
    return start;
}

QString ReportText::decode(qsizetype from, qsizetype to) const {
    return FileSystem::DecodePiece(bytes.constData() + from, to - from, utf8);
}

QString ReportText::line(qsizetype index) const {
    if (index < 0 || index >= count)
        return {};
    const qsizetype start = lineStart(index);
    return decode(start, lineEnd(start));
}

QStringList ReportText::lines(qsizetype first, qsizetype wanted) const {
    QStringList result;
    first = std::max<qsizetype>(first, 0);
    wanted = std::min(wanted, count - first);
    if (wanted <= 0)
        return result;
    result.reserve(wanted);
    qsizetype start = lineStart(first);
    for (qsizetype i = 0; i < wanted; ++i) {
        const qsizetype end = lineEnd(start);
        result.append(decode(start, end));
        if (end < bytes.size())
            start = nextLine(end);
    }
    return result;
}

QString ReportText::text(ReportPosition from, ReportPosition to) const {
    from.line = std::clamp<qsizetype>(from.line, 0, count - 1);
    to.line = std::clamp<qsizetype>(to.line, 0, count - 1);
    if (to < from)
        std::swap(from, to);
    QString result;
    qsizetype start = lineStart(from.line);
    for (qsizetype line = from.line; line <= to.line; ++line) {
        const qsizetype end = lineEnd(start);
        const QString text = decode(start, end);
        const qsizetype left = line == from.line ? std::min(from.column, text.size()) : 0;
        const qsizetype right = line == to.line ? std::min(to.column, text.size()) : text.size();
        result += QStringView(text).mid(left, std::max<qsizetype>(right - left, 0));
        if (line < to.line) {
            result += u'\n';
            start = nextLine(end);
        }
    }
    return result;
}

ReportPosition ReportText::end() const {
    return {count - 1, line(count - 1).size()};
}

QString ReportText::toPlainText() const {
    return text({0, 0}, end());
}

qsizetype ReportText::charactersIn(qsizetype from, qsizetype to) const {
    if (!utf8)
        return to - from; // Windows-1252: one character a byte
    // UTF-8 (valid): a character starts at every byte but a continuation byte, and one of four
    // bytes needs two UTF-16 units.
    qsizetype units = 0;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = from; i < to; ++i)
        units += ((data[i] & 0xC0) != 0x80) + (data[i] >= 0xF0);
    return units;
}

const std::vector<qsizetype>& ReportText::charactersBefore() const {
    if (characters >= 0)
        return checkpointCharacters;
    checkpointCharacters.clear();
    checkpointCharacters.reserve(checkpoints.size());
    qsizetype before = 0;
    for (size_t i = 0; i < checkpoints.size(); ++i) {
        if (i > 0) {
            // The bytes between two checkpoints, with their line ends: each end is one "\n".
            const Checkpoint& from = checkpoints[i - 1];
            const Checkpoint& to = checkpoints[i];
            qsizetype start = from.offset;
            for (qsizetype line = from.line; line < to.line; ++line) {
                const qsizetype end = lineEnd(start);
                before += charactersIn(start, end) + 1;
                start = nextLine(end);
            }
        }
        checkpointCharacters.push_back(before);
    }
    const Checkpoint& last = checkpoints.back();
    qsizetype start = last.offset;
    qsizetype total = before;
    for (qsizetype line = last.line; line < count; ++line) {
        const qsizetype end = lineEnd(start);
        total += charactersIn(start, end) + (line + 1 < count ? 1 : 0);
        if (end < bytes.size())
            start = nextLine(end);
    }
    characters = total;
    return checkpointCharacters;
}

qsizetype ReportText::characterCount() const {
    charactersBefore();
    return characters;
}

qsizetype ReportText::offsetOf(ReportPosition position) const {
    const std::vector<qsizetype>& before = charactersBefore();
    position.line = std::clamp<qsizetype>(position.line, 0, count - 1);
    const auto after = std::upper_bound(
        checkpoints.begin(), checkpoints.end(), position.line,
        [](qsizetype line, const Checkpoint& checkpoint) { return line < checkpoint.line; });
    const size_t checkpoint = size_t(after - checkpoints.begin()) - 1;
    qsizetype offset = before[checkpoint];
    qsizetype start = checkpoints[checkpoint].offset;
    for (qsizetype line = checkpoints[checkpoint].line; line < position.line; ++line) {
        const qsizetype end = lineEnd(start);
        offset += charactersIn(start, end) + 1;
        start = nextLine(end);
    }
    const qsizetype length = charactersIn(start, lineEnd(start));
    return offset + std::clamp<qsizetype>(position.column, 0, length);
}

ReportPosition ReportText::positionOf(qsizetype offset) const {
    const std::vector<qsizetype>& before = charactersBefore();
    offset = std::clamp<qsizetype>(offset, 0, characters);
    const size_t checkpoint =
        size_t(std::upper_bound(before.begin(), before.end(), offset) - before.begin()) - 1;
    qsizetype lineOffset = before[checkpoint];
    qsizetype start = checkpoints[checkpoint].offset;
    for (qsizetype line = checkpoints[checkpoint].line;; ++line) {
        const qsizetype end = lineEnd(start);
        const qsizetype length = charactersIn(start, end);
        if (offset <= lineOffset + length || line + 1 >= count)
            return {line, std::min(offset - lineOffset, length)};
        lineOffset += length + 1;
        start = nextLine(end);
    }
}
