// Keeps the test support library non-empty.
