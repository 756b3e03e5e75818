#pragma once
// Driving the audio settings dialog as a user does: a list entry chosen from the opened list,
// a number typed over a field's contents; and the engine's channel fields in the dialog's order.

#include "app/audio_setup.h"
#include "engine/processor.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace peldor::test {

/// Opens the list with a click, moves to the entry and confirms it with Enter.
inline void ChooseItem(QComboBox* list, const QString& text) {
    ASSERT_NE(list, nullptr);
    const int index = list->findText(text);
    ASSERT_GE(index, 0) << text.toStdString() << " is not in " << list->objectName().toStdString();
    QTest::mouseClick(list, Qt::LeftButton);
    QAbstractItemView* view = list->view();
    ASSERT_TRUE(QTest::qWaitFor([view] { return view->isVisible(); }, 2000));
    view->setCurrentIndex(list->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([view] { return !view->isVisible(); }, 2000));
    ASSERT_EQ(list->currentIndex(), index);
}

/// Selects the field's whole text and types text over it.
inline void TypeInto(QSpinBox* field, const QString& text) {
    ASSERT_NE(field, nullptr);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
    ASSERT_EQ(field->text(), text);
}

/// The engine's field of channel list 0-9.
inline Relaxed<std::int32_t>& ChannelField(int list) {
    TChannelAssignment& c = ChannelAssignment;
    Relaxed<std::int32_t>* fields[kAudioChannelLists] = {
        &c.Input1,   &c.Input2,  &c.Input3,  &c.Input4,   &c.OutMainL,
        &c.OutMainR, &c.OutMon1, &c.OutMon2, &c.OutSoloL, &c.OutSoloR};
    return *fields[list];
}

} // namespace peldor::test
