// Qt keys as the virtual-key codes the panes act on.
#include <QKeyEvent>

#include "QtTestSupport.h"
#include "ui/qt/QtKeyMap.h"

namespace {

TEST(KeyMap, KeysTheLogicActsOnHaveTheirVirtualKeyValues) {
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Return, Qt::NoModifier), 13);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Enter, Qt::KeypadModifier), 13);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Up, Qt::ControlModifier), 0x26);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Down, Qt::NoModifier), 0x28);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_B, Qt::ControlModifier), 'B');
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_7, Qt::NoModifier), '7');
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F1, Qt::NoModifier), 0x70);
}

TEST(KeyMap, ShiftedAndKeypadKeysMapToTheKeyPressed) {
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Exclam, Qt::ShiftModifier), '1');
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Colon, Qt::ShiftModifier), 0xBA);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_5, Qt::KeypadModifier), 0x65);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Plus, Qt::KeypadModifier), 0x6B);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Plus, Qt::ShiftModifier), 0xBB);
}

TEST(KeyMap, OnlyPlainCtrlLettersOfTheTableAreWindowAccelerators) {
    auto accelerator = [](int key, Qt::KeyboardModifiers modifiers) {
        return IsWindowAccelerator(QKeyEvent(QEvent::KeyPress, key, modifiers));
    };
    EXPECT_TRUE(accelerator(Qt::Key_C, Qt::ControlModifier));
    EXPECT_TRUE(accelerator(Qt::Key_D, Qt::ControlModifier | Qt::KeypadModifier));
    EXPECT_FALSE(accelerator(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_FALSE(accelerator(Qt::Key_Z, Qt::ControlModifier));
    EXPECT_FALSE(accelerator(Qt::Key_C, Qt::NoModifier));
}

}  // namespace
