// Placeholder until the application shell lands.
