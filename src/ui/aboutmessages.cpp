#include "ui/aboutmessages.h"

#include <algorithm>
#include <iterator>

namespace tarnivel {

namespace {

struct MessageRow
{
    int lastDraw;
    const char16_t *text;
};

// Eleven messages of 17 draws each, one of 12, and the rare one.
constexpr MessageRow Messages[] = {
    {16, u"愛を語ろう、たるにべで。"},
    {33, u"たるにべ、それは伝説。"},
    {50, u"はずかしい・・・・"},
    {67, u"たるにべは、ここにゐるよ。"},
    {84, u"そんな悲しい目で、私を見ないで。"},
    {101, u"毛やすみなさい。"},
    {118, u"風が、泣いている・・・"},
    {135, u"涙のこぼれる音が、聞こえる・・・"},
    {152, u"ちっと職人気質が足らないかな。"},
    {169, u"そうだ！その「グニャ」を覚えとけ！"},
    {186, u"最近はと言えば、丸くなってきたよ。"},
    {198, u"たるにべ> ただ、愛を求めて。"},
    {RareMessageDraw, u"これはレアメッセージだよ！\n1/200の確率。おめでとう！"},
};

} // namespace

QString versionCaption(int major, int minor, int revision)
{
    return QStringLiteral("たるにべ    Ver %1.%2%3").arg(major).arg(minor).arg(revision);
}

QString programVersionCaption()
{
    return versionCaption(TARNIVEL_VERSION_MAJOR, TARNIVEL_VERSION_MINOR, TARNIVEL_VERSION_PATCH);
}

QString aboutMessage(int n)
{
    const int draw = std::clamp(n, 0, MessageDraws - 1);
    const auto row = std::find_if(std::begin(Messages), std::end(Messages),
                                  [draw](const MessageRow &r) { return draw <= r.lastDraw; });
    return QString::fromUtf16(row->text);
}

} // namespace tarnivel
