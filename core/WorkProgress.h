#pragma once

#include <cstddef>
#include <functional>

// Long work on the window thread (adding many files, reading a playlist)
// reports `done` of `total` steps after each step, ending with done == total,
// so the window can show how far it is and repaint meanwhile. An empty
// function reports nothing.
using WorkProgress = std::function<void(std::size_t done, std::size_t total)>;
