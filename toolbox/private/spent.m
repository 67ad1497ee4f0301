function out = spent(name, seconds)
% Seconds spent per part of a run: spent() returns them as a struct,
% spent('reset') clears them, spent(name, seconds) adds.
  persistent table
  if isempty(table) || (nargin == 1 && strcmp(name, 'reset'))
    table = struct();
  end
  if nargin == 2
    if isfield(table, name)
      table.(name) = table.(name) + seconds;
    else
      table.(name) = seconds;
    end
  end
  out = table;
end
