function varargout = callkernel(name, varargin)
% Calls a compiled module. A module that refuses a call prints one line
% and makes no output; that line becomes the error sparseprec:kernel.
  args = varargin;
  outs = cell(1, max(nargout, 1));
  ok = false;
  failure = [];
  t0 = tic;
  text = evalc('try, [outs{:}] = feval(name, args{:}); ok = true; catch failure, end');
  spent(name, toc(t0));
  if ~ok
    if isempty(strtrim(text))
      error('sparseprec:kernel', 'sparseprec: %s failed: %s', name, failure.message);
    end
    error('sparseprec:kernel', 'sparseprec: %s', strtrim(text));
  end
  varargout = outs;
end
