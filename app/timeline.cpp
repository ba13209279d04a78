// Placeholder until the timeline is written.
