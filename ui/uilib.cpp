// Anchors the user-interface library until its first sources land.
