#pragma once
// The song search: one query per search command, each on a thread of its own.
#include "platform/text_types.h"
#include "platform/window_operations.h"

// The search command: starts a query on a new thread that nobody waits for, and returns at once.
// `window` must outlive the query (the main window lives until the process ends).
void startSearch(WindowOperations& window);

// One query, on the calling worker thread: empties the list, posts the keyword of 搜索框 to the
// search interface and appends one row per song found, in the answer's order; "解析错误" when the
// answer does not load.
void searchSongs(WindowOperations& window);

// The search answer for the keyword of 搜索框, as Text; "" when no answer came or the answer is
// not a JSON text that may be loaded.
Text fetchSearchResults(WindowOperations& window);
