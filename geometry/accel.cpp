// Anchors the acceleration library while it has no other sources of its own.
