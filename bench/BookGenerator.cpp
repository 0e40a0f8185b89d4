#include "BookGenerator.h"

#include "phonebook/ManItems.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstdint>
#include <functional>
#include <iterator>

namespace BookGenerator {
namespace {

struct Syllable {
    char16_t hanzi;
    char initial;
};

// The most common surnames, roughly by frequency.
constexpr Syllable kSurnames[] = {
    {u'王', 'w'}, {u'李', 'l'}, {u'张', 'z'}, {u'刘', 'l'}, {u'陈', 'c'}, {u'杨', 'y'}, {u'黄', 'h'}, {u'赵', 'z'},
    {u'吴', 'w'}, {u'周', 'z'}, {u'徐', 'x'}, {u'孙', 's'}, {u'马', 'm'}, {u'朱', 'z'}, {u'胡', 'h'}, {u'郭', 'g'},
    {u'何', 'h'}, {u'高', 'g'}, {u'林', 'l'}, {u'罗', 'l'}, {u'郑', 'z'}, {u'梁', 'l'}, {u'谢', 'x'}, {u'宋', 's'},
    {u'唐', 't'}, {u'许', 'x'}, {u'韩', 'h'}, {u'冯', 'f'}, {u'邓', 'd'}, {u'曹', 'c'}, {u'彭', 'p'}, {u'曾', 'z'},
    {u'肖', 'x'}, {u'田', 't'}, {u'董', 'd'}, {u'袁', 'y'}, {u'潘', 'p'}, {u'于', 'y'}, {u'蒋', 'j'}, {u'蔡', 'c'},
    {u'余', 'y'}, {u'杜', 'd'}, {u'叶', 'y'}, {u'程', 'c'}, {u'苏', 's'}, {u'魏', 'w'}, {u'吕', 'l'}, {u'丁', 'd'},
    {u'任', 'r'}, {u'沈', 's'}, {u'姚', 'y'}, {u'卢', 'l'}, {u'姜', 'j'}, {u'崔', 'c'}, {u'钟', 'z'}, {u'谭', 't'},
    {u'陆', 'l'}, {u'汪', 'w'}, {u'范', 'f'}, {u'金', 'j'}, {u'石', 's'}, {u'廖', 'l'}, {u'贾', 'j'}, {u'夏', 'x'},
    {u'韦', 'w'}, {u'付', 'f'}, {u'方', 'f'}, {u'白', 'b'}, {u'邹', 'z'}, {u'孟', 'm'}, {u'熊', 'x'}, {u'秦', 'q'},
    {u'邱', 'q'}, {u'江', 'j'}, {u'尹', 'y'}, {u'薛', 'x'}, {u'段', 'd'}, {u'雷', 'l'}, {u'侯', 'h'}, {u'龙', 'l'},
    {u'史', 's'}, {u'陶', 't'}, {u'黎', 'l'}, {u'贺', 'h'}, {u'顾', 'g'}, {u'毛', 'm'}, {u'郝', 'h'}, {u'龚', 'g'},
    {u'邵', 's'}, {u'万', 'w'}, {u'钱', 'q'}, {u'严', 'y'}, {u'武', 'w'}, {u'戴', 'd'}, {u'莫', 'm'}, {u'孔', 'k'},
};

// GB2312's first level (3,755 characters) is ordered by pinyin, so a
// character's initial follows from its code: these are the first codes of
// each initial letter (no i, u or v), the last entry ends the level.
constexpr struct {
    std::uint16_t first;
    char initial;
} kLevelOne[] = {
    {0xB0A1, 'a'}, {0xB0C5, 'b'}, {0xB2C1, 'c'}, {0xB4EE, 'd'}, {0xB6EA, 'e'}, {0xB7A2, 'f'},
    {0xB8C1, 'g'}, {0xB9FE, 'h'}, {0xBBF7, 'j'}, {0xBFA6, 'k'}, {0xC0AC, 'l'}, {0xC2E8, 'm'},
    {0xC4C3, 'n'}, {0xC5B6, 'o'}, {0xC5BE, 'p'}, {0xC6DA, 'q'}, {0xC8BB, 'r'}, {0xC8F6, 's'},
    {0xCBFA, 't'}, {0xCDDA, 'w'}, {0xCEF4, 'x'}, {0xD1B9, 'y'}, {0xD4D1, 'z'}, {0xD7FA, 0},
};

// Every character of the first level with its initial, in code order.
const std::vector<Syllable>& levelOne() {
    static const std::vector<Syllable> all = [] {
        std::vector<Syllable> out;
        QStringDecoder gbk("GBK");
        for (std::size_t r = 0; kLevelOne[r].initial; ++r) {
            for (unsigned code = kLevelOne[r].first; code < kLevelOne[r + 1].first; ++code) {
                const unsigned trail = code & 0xFF;
                if (trail < 0xA1 || trail > 0xFE)
                    continue;
                const char bytes[2] = {char(code >> 8), char(trail)};
                const QString c = gbk(QByteArray(bytes, 2));
                if (c.size() == 1 && c[0] != QChar::ReplacementCharacter)
                    out.push_back({c[0].unicode(), kLevelOne[r].initial});
            }
        }
        return out;
    }();
    return all;
}

// Small and the same everywhere, unlike the standard distributions.
class Random {
public:
    explicit Random(unsigned seed) : m_state(0x9E3779B97F4A7C15ull ^ seed) {}
    std::uint32_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return std::uint32_t(m_state >> 32);
    }
    int below(int n) { return int(next() % std::uint32_t(n)); }
    QString digits(int count) {
        QString out(count, u'0');
        for (int i = 0; i < count; ++i)
            out[i] = QChar(u'0' + below(10));
        return out;
    }

private:
    std::uint64_t m_state;
};

// Skewed towards the front: common characters are common.
const Syllable& pick(Random& random, const Syllable* list, std::size_t n) {
    const int a = random.below(int(n));
    const int b = random.below(int(n));
    return list[std::size_t(a < b ? a : b)];
}

Entry makeEntry(Random& random) {
    Entry e;
    // Mostly the common surnames, now and then a rare one; given names draw
    // from the whole first level, so a large book has as many distinct names
    // as a real directory of its size (about 770,000 in 1,000,000 entries).
    const std::vector<Syllable>& chars = levelOne();
    const Syllable& surname = random.below(100) < 85 ? pick(random, kSurnames, std::size(kSurnames))
                                                     : pick(random, chars.data(), chars.size());
    e.FullName += QChar(surname.hanzi);
    e.ShortName += QLatin1Char(surname.initial);
    const int given = random.below(100) < 50 ? 1 : 2;
    for (int i = 0; i < given; ++i) {
        const Syllable& s = pick(random, chars.data(), chars.size());
        e.FullName += QChar(s.hanzi);
        e.ShortName += QLatin1Char(s.initial);
    }
    if (random.below(100) < 95)
        e.ExtTelNo = QStringLiteral("8") + random.digits(3);
    e.RoomNo = random.below(100) < 70 ? QString::number(1 + random.below(12)) + random.digits(2)
                                      : QStringLiteral("6688") + random.digits(4);
    if (random.below(100) < 90)
        e.MobilNo = QStringLiteral("13") + random.digits(9);
    return e;
}

} // namespace

std::vector<Entry> Entries(int count, unsigned seed) {
    Random random(seed);
    std::vector<Entry> out;
    out.reserve(std::size_t(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i)
        out.push_back(makeEntry(random));
    return out;
}

void Fill(ManItems& items, int count, unsigned seed) {
    Random random(seed);
    items.reserve(std::size_t(items.Count() + (count > 0 ? count : 0)));
    for (int i = 0; i < count; ++i) {
        const Entry e = makeEntry(random);
        items.Add(e.FullName, e.ShortName, e.ExtTelNo, e.MobilNo, e.RoomNo);
    }
}

namespace {

// Appends entry `i` of the book, as a line, to `text`.
void appendLine(QString& text, int i, Random& random, const Options& options) {
    if (options.tag.isEmpty()) {
        const Entry e = makeEntry(random);
        text += e.FullName + u'\t' + (options.initials ? e.ShortName : QString()) + u'\t' + e.ExtTelNo + u'\t' +
                e.MobilNo + u'\t' + e.RoomNo + QStringLiteral("\r\n");
        return;
    }
    const QString n = QStringLiteral("%1").arg(options.first + i, options.width, 10, QChar(u'0'));
    text += options.tag + n + QStringLiteral("\tx") + n + QStringLiteral("\t8") + n + QStringLiteral("\t139") + n +
            u'\t' + n + QStringLiteral("\r\n");
}

// Generates the book in pieces of about 64 K characters, each handed to
// `write` encoded; stops at the first piece it refuses.
bool generate(int count, const Options& options, const std::function<bool(const QByteArray&)>& write) {
    QStringEncoder encoder(options.encoding);
    QString text;
    if (options.header)
        text = QStringLiteral("'姓名\t缩写\t分机\t手机\t房号/直拨\r\n");
    const auto flush = [&]() {
        const QByteArray bytes = encoder(text);
        text.clear();
        return write(bytes);
    };
    Random random(options.seed);
    bool ok = true;
    for (int i = 0; ok && i < count; ++i) {
        appendLine(text, i, random, options);
        if (text.size() >= 64 * 1024)
            ok = flush();
    }
    return ok && flush();
}

} // namespace

QByteArray Book(int count, const Options& options) {
    QByteArray book;
    generate(count, options, [&book](const QByteArray& bytes) {
        book += bytes;
        return true;
    });
    return book;
}

QByteArray Numbered(const QString& tag, int count, int width, int first) {
    Options options;
    options.tag = tag;
    options.width = width;
    options.first = first;
    return Book(count, options);
}

bool WriteBook(const QString& path, int count, unsigned seed, QString* error) {
    Options options;
    options.seed = seed;
    return WriteBook(path, count, options, error);
}

bool WriteBook(const QString& path, int count, const Options& options, QString* error) {
    QFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    generate(count, options, [&file](const QByteArray& b) { return file.write(b) == b.size(); }) &&
                    file.flush();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

QString TempBooks::path(int count, bool initials) {
    const auto it = m_paths.find({count, initials});
    if (it != m_paths.end())
        return it->second;
    const QString path =
        m_dir.filePath(QStringLiteral("book-%1%2.txt").arg(count).arg(initials ? QString() : QStringLiteral("-bare")));
    Options options;
    options.initials = initials;
    QString error;
    if (!m_dir.isValid() || !WriteBook(path, count, options, &error))
        qFatal("cannot write %s: %s", qPrintable(path), qPrintable(error));
    return m_paths.emplace(std::pair(count, initials), path).first->second;
}

QString TempBooks::empty() {
    return path(0);
}

TempBooks& SharedBooks() {
    static TempBooks books;
    return books;
}

} // namespace BookGenerator
