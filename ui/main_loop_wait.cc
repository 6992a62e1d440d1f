#include "ui/main_loop_wait.h"

#include <glib.h>

#include <algorithm>
#include <limits>

namespace morvellin {

bool RunMainLoopUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit) {
  if (done()) return true;
  if (limit.count() <= 0) return false;

  // The timeout only wakes the loop up; the flag it sets ends the wait.
  bool timed_out = false;
  const auto interval = static_cast<guint>(std::min<std::chrono::milliseconds::rep>(
      limit.count(), std::numeric_limits<guint>::max()));
  const guint timer = g_timeout_add(
      interval,
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
      },
      &timed_out);

  bool finished = false;
  while (!(finished = done()) && !timed_out) {
    g_main_context_iteration(nullptr, TRUE);
  }
  if (!timed_out) g_source_remove(timer);
  return finished;
}

}  // namespace morvellin
