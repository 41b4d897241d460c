// Anchors the engine library until its first sources land.
