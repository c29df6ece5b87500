int VeltPlaceholder() { return 1; }
