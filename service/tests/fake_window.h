#pragma once
// A window for query tests: the list as rows of five cells, a keyword, and a log of every call.
// Thread-safe, with the same promise as the real window: a worker's row index goes stale when
// another worker deletes the rows.
#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window_operations.h"

class FakeWindow : public WindowOperations {
public:
    using Row = std::array<Text, 5>;
    struct Message { Text text, caption; };

    explicit FakeWindow(Text keyword = {}) : keyword_(std::move(keyword)) {}

    Text readSearchBox() override {
        std::lock_guard lock(mutex_);
        calls_.push_back("read");
        return keyword_;
    }
    void deleteAllRows() override {
        std::lock_guard lock(mutex_);
        calls_.push_back("delete");
        rows_.clear();
        ++generation_;
    }
    int appendRow(const Text& column0) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("append");
        rows_.push_back(Row{column0});
        appendedInGeneration() = generation_;
        return static_cast<int>(rows_.size()) - 1;
    }
    void setCell(int row, int column, const Text& text) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("set");
        long long appended = appendedInGeneration();
        if (appended >= 0 && appended != generation_) return;
        if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column > 4) return;
        rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
    }
    void messageBox(const Text& text, const Text& caption) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("message");
        messages_.push_back({text, caption});
    }

    std::vector<Row> rows() const { std::lock_guard lock(mutex_); return rows_; }
    std::vector<Message> messages() const { std::lock_guard lock(mutex_); return messages_; }
    std::vector<std::string> calls() const { std::lock_guard lock(mutex_); return calls_; }

private:
    static long long& appendedInGeneration() {
        thread_local long long generation = -1;
        return generation;
    }

    mutable std::mutex mutex_;
    Text keyword_;
    std::vector<Row> rows_;
    std::vector<Message> messages_;
    std::vector<std::string> calls_;
    long long generation_ = 0;
};
