#include "app/message_boxes.h"

std::unique_ptr<QMessageBox> makeMessageBox(const QString& text, const QString& caption) {
    return std::make_unique<QMessageBox>(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
}

std::unique_ptr<QMessageBox> makeStartupNotice() {
    return makeMessageBox(QStringLiteral("查询后右键列表复制链接地址"),
                          QStringLiteral("Morvek的博客"));
}

void showStartupNotice() { makeStartupNotice()->exec(); }
