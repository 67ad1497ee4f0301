disp('demo placeholder')
