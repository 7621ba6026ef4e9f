# Benchmarks: filled in by their owner.
