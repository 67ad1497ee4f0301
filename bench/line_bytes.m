function b = line_bytes (positions)
  % line_bytes (POSITIONS): the bytes of the distinct 64-byte cache lines
  % that 1-based POSITIONS fall in, in an array of doubles starting on a
  % line. That many bytes must come from memory to gather those elements
  % once, in whatever order: a floor for sorted and random lists alike.
  b = 64 * numel (unique (floor ((positions(:) - 1) / 8)));
end
