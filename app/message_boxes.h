#pragma once
// The program's two kinds of message: the start-up notice and a worker's message box. Both
// have one OK button, no icon and no owner window. UI thread only.
#include <QMessageBox>
#include <QString>

#include <memory>

std::unique_ptr<QMessageBox> makeMessageBox(const QString& text, const QString& caption);

// "查询后右键列表复制链接地址", titled "Morvek的博客"; returns when it has been dismissed.
std::unique_ptr<QMessageBox> makeStartupNotice();
void showStartupNotice();
