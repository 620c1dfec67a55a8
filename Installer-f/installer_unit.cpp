// Keeps the installer library non-empty.
