#include "BookGenerator.h"

#include "phonebook/ManItems.h"

#include <QFile>
#include <QStringEncoder>

#include <cstdint>

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

constexpr Syllable kGiven[] = {
    {u'伟', 'w'}, {u'芳', 'f'}, {u'娜', 'n'}, {u'敏', 'm'}, {u'静', 'j'}, {u'丽', 'l'}, {u'强', 'q'}, {u'磊', 'l'},
    {u'军', 'j'}, {u'洋', 'y'}, {u'勇', 'y'}, {u'艳', 'y'}, {u'杰', 'j'}, {u'娟', 'j'}, {u'涛', 't'}, {u'明', 'm'},
    {u'超', 'c'}, {u'秀', 'x'}, {u'霞', 'x'}, {u'平', 'p'}, {u'刚', 'g'}, {u'桂', 'g'}, {u'英', 'y'}, {u'华', 'h'},
    {u'玉', 'y'}, {u'兰', 'l'}, {u'建', 'j'}, {u'国', 'g'}, {u'文', 'w'}, {u'辉', 'h'}, {u'红', 'h'}, {u'鹏', 'p'},
    {u'飞', 'f'}, {u'斌', 'b'}, {u'宇', 'y'}, {u'浩', 'h'}, {u'凯', 'k'}, {u'晨', 'c'}, {u'婷', 't'}, {u'欣', 'x'},
    {u'雪', 'x'}, {u'梅', 'm'}, {u'琳', 'l'}, {u'丹', 'd'}, {u'波', 'b'}, {u'志', 'z'}, {u'海', 'h'}, {u'峰', 'f'},
    {u'健', 'j'}, {u'东', 'd'}, {u'亮', 'l'}, {u'春', 'c'}, {u'晓', 'x'}, {u'燕', 'y'}, {u'佳', 'j'}, {u'颖', 'y'},
    {u'慧', 'h'}, {u'倩', 'q'}, {u'蕾', 'l'}, {u'雨', 'y'}, {u'博', 'b'}, {u'俊', 'j'}, {u'新', 'x'}, {u'云', 'y'},
    {u'鑫', 'x'}, {u'德', 'd'}, {u'成', 'c'}, {u'瑞', 'r'}, {u'思', 's'}, {u'嘉', 'j'}, {u'天', 't'}, {u'子', 'z'},
    {u'诗', 's'}, {u'涵', 'h'}, {u'轩', 'x'}, {u'睿', 'r'}, {u'泽', 'z'}, {u'梓', 'z'}, {u'铭', 'm'}, {u'宁', 'n'},
    {u'安', 'a'}, {u'昊', 'h'}, {u'然', 'r'}, {u'彤', 't'}, {u'悦', 'y'}, {u'琪', 'q'}, {u'萱', 'x'}, {u'怡', 'y'},
    {u'若', 'r'}, {u'可', 'k'}, {u'欢', 'h'}, {u'乐', 'l'}, {u'荣', 'r'}, {u'生', 's'}, {u'永', 'y'}, {u'庆', 'q'},
    {u'宏', 'h'}, {u'雅', 'y'}, {u'素', 's'}, {u'凤', 'f'}, {u'秋', 'q'}, {u'振', 'z'}, {u'立', 'l'}, {u'兵', 'b'},
};

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

template <std::size_t N> const Syllable& pick(Random& random, const Syllable (&list)[N]) {
    // Skewed towards the front: common characters are common.
    const int a = random.below(int(N));
    const int b = random.below(int(N));
    return list[std::size_t(a < b ? a : b)];
}

Entry makeEntry(Random& random) {
    Entry e;
    const Syllable& surname = pick(random, kSurnames);
    e.FullName += QChar(surname.hanzi);
    e.ShortName += QLatin1Char(surname.initial);
    const int given = random.below(100) < 40 ? 1 : 2;
    for (int i = 0; i < given; ++i) {
        const Syllable& s = pick(random, kGiven);
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

bool WriteBook(const QString& path, int count, unsigned seed, QString* error) {
    QFile file(path);
    QStringEncoder gbk("GBK");
    QString text = QStringLiteral("'姓名\t缩写\t分机\t手机\t房号/直拨\r\n");
    const auto flush = [&]() {
        const QByteArray bytes = gbk(text);
        text.clear();
        return file.write(bytes) == bytes.size();
    };
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    Random random(seed);
    for (int i = 0; ok && i < count; ++i) {
        const Entry e = makeEntry(random);
        text += e.FullName + u'\t' + e.ShortName + u'\t' + e.ExtTelNo + u'\t' + e.MobilNo + u'\t' + e.RoomNo +
                QStringLiteral("\r\n");
        if (text.size() >= 64 * 1024)
            ok = flush();
    }
    ok = ok && flush() && file.flush();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

} // namespace BookGenerator
