// Anchors the scene library until its first sources land.
