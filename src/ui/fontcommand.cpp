#include "ui/fontcommand.h"

#include "session/session.h"
#include "ui/windowstacking.h"

#include <QFontDialog>
#include <QFontInfo>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <limits>

namespace tarnivel {

QFont chooserStartFont(const LogFontChoice &initial)
{
    // The chooser lists real families: a Windows name ("ＭＳ Ｐゴシック") starts it at the
    // family it stands for here.
    QFont start(QFontInfo(QFont(initial.family)).family());
    if (initial.pointSize > 0)
        start.setPointSizeF(initial.pointSize);
    return start;
}

void chooseFontWithDialog(const LogFontChoice &initial, QWidget *parent, FontChosen chosen)
{
    auto *dialog = new QFontDialog(chooserStartFont(initial), parent);
    dialog->setWindowTitle(QStringLiteral("フォント"));
    showModal(dialog, [dialog, initial, chosen = std::move(chosen)](int result) {
        if (result != QDialog::Accepted) {
            chosen(initial);
            return;
        }
        const QFont font = dialog->selectedFont();
        chosen({font.family(), font.pointSizeF()});
    });
}

qint32 wholeFontPoints(double points)
{
    double whole = std::floor(points);
    const double fraction = points - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    constexpr double lowest = std::numeric_limits<qint32>::min();
    constexpr double highest = std::numeric_limits<qint32>::max();
    return qint32(std::clamp(whole, lowest, highest));
}

void runFontCommand(Session &session, LogAppearance &appearance, const FontChooser &chooser, QWidget *parent)
{
    // The chooser starts from what the end of the log shows; a log that says nothing there
    // (emptied) starts from the preferences.
    LogFontChoice initial = appearance.fontAtLogEnd();
    const Preferences &prefs = session.preferences();
    if (initial.family.isEmpty())
        initial.family = prefs.logFontName;
    if (initial.pointSize <= 0)
        initial.pointSize = prefs.logFontSize;

    chooser(initial, parent, [window = QPointer<QWidget>(parent), &session, &appearance](const LogFontChoice &chosen) {
        if (!window || chosen.family.isEmpty() || !(chosen.pointSize > 0))
            return;
        session.setLogFont(chosen.family, wholeFontPoints(chosen.pointSize));
        appearance.setInsertionFont(chosen);
    });
}

} // namespace tarnivel
