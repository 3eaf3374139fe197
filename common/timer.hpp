#pragma once

// Seconds from a monotonic clock; only differences of two readings mean anything.
double get_time();
