#pragma once
// What composing and sending needs from the main window.

#include "model/member.h"

#include <QList>
#include <QString>
#include <optional>

namespace tarnivel {

class ComposerView
{
public:
    virtual ~ComposerView() = default;
    virtual QString inputText() const = 0;
    virtual void clearInput() = 0;
    virtual void focusInput() = 0;
    // "個人へ送信" is selected.
    virtual bool sendToChosen() const = 0;
    // Select one option and carry out its click (show the matching list, focus the input).
    virtual void setSendToChosen(bool selected) = 0;
    // The members ticked in the private list, top to bottom.
    virtual QList<MemberId> tickedMembers() const = 0;
    // The member a row of the member lists stands for; nothing for a row that is not there.
    virtual std::optional<MemberId> memberAtRow(int row) const = 0;
    virtual void setShownAddress(const QString &address) = 0;
};

} // namespace tarnivel
