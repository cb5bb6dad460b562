#pragma once
// The window as the logic sees it, without widgets: what it was told to show, and what a
// user would have typed, chosen and ticked.

#include "conversation/composerview.h"
#include "session/lifecycleview.h"
#include "session/statusview.h"

#include <QSet>

namespace tarnivel::test {

class FakeViews : public StatusView, public ComposerView, public LifecycleView
{
public:
    // StatusView
    void setTitle(const QString &t) override { title = t; }
    void setConnectMenus(bool c, bool d) override
    {
        connectEnabled = c;
        disconnectEnabled = d;
    }
    void setMemberRows(const QList<Member> &members) override
    {
        rows = members;
        ticked.clear();
    }
    void selectSendToAll() override { sendToChosenChecked = false; }

    // ComposerView
    QString inputText() const override { return input; }
    void clearInput() override { input.clear(); }
    void focusInput() override {}
    bool sendToChosen() const override { return sendToChosenChecked; }
    void setSendToChosen(bool selected) override { sendToChosenChecked = selected; }
    QList<MemberId> tickedMembers() const override
    {
        QList<MemberId> result;
        for (int r = 0; r < rows.size(); ++r) {
            if (ticked.contains(r))
                result << rows.at(r).id;
        }
        return result;
    }
    std::optional<MemberId> memberAtRow(int row) const override
    {
        if (row < 0 || row >= rows.size())
            return std::nullopt;
        return rows.at(row).id;
    }
    void setShownAddress(const QString &address) override { shownAddress = address; }

    // LifecycleView: nothing to lay out or show.
    void closeSplash() override {}
    void applyPreferences(float, float) override {}
    void applyDefaultPreferences() override {}
    void showWindow() override {}
    void applyTopmost() override {}
    void openDirectoryList() override {}
    void capturePlacement(float &, float &) override {}

    QString title;
    bool connectEnabled = false;
    bool disconnectEnabled = false;
    QList<Member> rows;
    QSet<int> ticked;
    QString input;
    bool sendToChosenChecked = false;
    QString shownAddress;
};

} // namespace tarnivel::test
