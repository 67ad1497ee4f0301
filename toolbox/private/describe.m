function s = describe(x)
% The class and size of x, for error messages: 'a 3x2 char array'.
  sz = sprintf('%dx', size(x));
  kind = class(x);
  if issparse(x)
    kind = ['sparse ' kind];
  end
  if isnumeric(x) && ~isreal(x)
    kind = ['complex ' kind];
  end
  s = sprintf('a %s %s array', sz(1:end - 1), kind);
end
