#include "app/message_boxes.h"

#include <QPushButton>

std::unique_ptr<QMessageBox> makeMessageBox(const QString& text, const QString& caption) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    // Some styles decorate dialog buttons with an icon; the box shows none at all.
    box->button(QMessageBox::Ok)->setIcon(QIcon());
    return box;
}

std::unique_ptr<QMessageBox> makeStartupNotice() {
    return makeMessageBox(QStringLiteral("查询后右键列表复制链接地址"),
                          QStringLiteral("Morvek的博客"));
}

void showStartupNotice() { makeStartupNotice()->exec(); }
